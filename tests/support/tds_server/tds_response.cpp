// Result tokens.
#include "tests/support/tds_server/tds_sql.h"

namespace tds {

bool server_context::is_inaccessible(std::string_view db) {
  std::lock_guard<std::mutex> g(knobs_mutex);
  const std::string k = name_key(db);
  for (const auto& n : inaccessible) {
    if (n == k) return true;
  }
  return false;
}

void response::release(bool more) {
  if (!held_) return;
  const held h = *held_;
  held_.reset();
  w_.u8(h.token);
  w_.u16(static_cast<uint16_t>(more ? h.status | 0x01 : h.status & ~0x01));
  w_.u16(h.cmd);
  w_.u64(h.count);
}

void response::finish(uint16_t extra_status) {
  if (errored) extra_status |= 0x02;
  errored = false;
  if (held_ && held_->token != 0xFF) {
    held_->status |= extra_status;
    release(false);
    return;
  }
  release(true);
  w_.u8(0xFD);
  w_.u16(extra_status);
  w_.u16(0);
  w_.u64(0);
}

void response::columns(const std::vector<result_column>& cols) {
  release(true);
  w_.u8(0x81);
  w_.u16(static_cast<uint16_t>(cols.size()));
  for (const auto& c : cols) {
    w_.u32(0);  // user type
    uint16_t flags = 0x08;  // updatable unknown
    if (c.nullable) flags |= 0x01;
    if (c.identity) flags |= 0x10;
    w_.u16(flags);
    write_type_info(w_, c.type, utf8_to_utf16(c.table));
    w_.b_varchar(utf8_to_utf16(c.name));
  }
}

void response::row(const std::vector<result_column>& cols, const std::vector<cell>& cells) {
  release(true);
  w_.u8(0xD1);
  for (std::size_t i = 0; i < cols.size(); ++i) write_value(w_, cols[i].type, cells[i]);
  maybe_flush();
}

void response::done(uint16_t status, uint64_t count, uint8_t token, uint16_t cmd) {
  if (errored) status |= 0x02;
  release(true);
  held_ = held{status, cmd, count, token};
  errored = false;
}

void response::message(const sql_error& e, bool info) {
  writer m;
  m.i32(e.number);
  m.u8(static_cast<uint8_t>(e.state));
  m.u8(static_cast<uint8_t>(e.severity));
  m.us_varchar(utf8_to_utf16(e.text));
  m.b_varchar(utf8_to_utf16("ORVTDS"));
  m.b_varchar("");
  m.u32(1);
  release(true);
  w_.u8(info ? 0xAB : 0xAA);
  w_.u16(static_cast<uint16_t>(m.size()));
  w_.bytes(m.out());
  if (!info) {
    errored = true;
    if (!first_error) first_error = e;
  }
}

void response::env_change(uint8_t type, std::string_view new_u16, std::string_view old_u16) {
  writer m;
  m.u8(type);
  m.b_varchar(new_u16);
  m.b_varchar(old_u16);
  release(true);
  w_.u8(0xE3);
  w_.u16(static_cast<uint16_t>(m.size()));
  w_.bytes(m.out());
}

void response::env_change_bytes(uint8_t type, std::string_view new_bytes, std::string_view old_bytes) {
  writer m;
  m.u8(type);
  m.u8(static_cast<uint8_t>(new_bytes.size()));
  m.bytes(new_bytes);
  m.u8(static_cast<uint8_t>(old_bytes.size()));
  m.bytes(old_bytes);
  release(true);
  w_.u8(0xE3);
  w_.u16(static_cast<uint16_t>(m.size()));
  w_.bytes(m.out());
}

void response::return_status(int32_t v) {
  release(true);
  w_.u8(0x79);
  w_.i32(v);
}

void response::maybe_flush() {
  if (w_.size() >= (256u << 10)) flush_(w_.out());
}


}  // namespace tds
