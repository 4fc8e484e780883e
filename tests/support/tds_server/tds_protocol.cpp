// Decoding of client messages.
#include "tests/support/tds_server/tds_protocol.h"

namespace tds {

packet_header parse_header(std::string_view b) {
  reader r(b);
  packet_header h;
  h.type = r.u8();
  h.status = r.u8();
  h.length = r.u16_be();
  return h;
}

login_request parse_login7(std::string_view body) {
  reader r(body);
  login_request l;
  const uint32_t length = r.u32();
  if (length > body.size() || length < 94) throw tds_protocol_error("bad LOGIN7 length");
  l.tds_version = r.u32();
  l.packet_size = r.u32();
  r.skip(4 + 4 + 4);  // program version, pid, connection id
  r.u8();             // OptionFlags1
  const uint8_t flags2 = r.u8();  // OptionFlags2
  l.odbc = (flags2 & 0x02) != 0;   // fODBC
  l.language_required = (flags2 & 0x01) != 0;  // fLanguage
  r.skip(2 + 4 + 4);  // TypeFlags, OptionFlags3, time zone, LCID
  auto field = [&](bool password) {
    const uint16_t off = r.u16();
    const uint16_t units = r.u16();
    if (static_cast<std::size_t>(off) + static_cast<std::size_t>(units) * 2 > length)
      throw tds_protocol_error("LOGIN7 field outside the message");
    std::string u16(body.substr(off, static_cast<std::size_t>(units) * 2));
    if (password) {
      for (char& c : u16) {
        auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ 0xA5);
        c = static_cast<char>(static_cast<uint8_t>((b << 4) | (b >> 4)));
      }
    }
    return utf16_to_utf8(u16);
  };
  l.host = field(false);
  l.user = field(false);
  l.password = field(true);
  l.app = field(false);
  l.server = field(false);
  r.skip(4);  // extension
  l.library = field(false);
  l.language = field(false);
  l.database = field(false);
  return l;
}

uint8_t check_prelogin(std::string_view body) {
  reader r(body);
  uint8_t encryption = 0;
  for (;;) {
    const uint8_t token = r.u8();
    if (token == 0xFF) return encryption;
    const uint16_t off = r.u16_be();
    const uint16_t len = r.u16_be();
    if (static_cast<std::size_t>(off) + len > body.size()) throw tds_protocol_error("PRELOGIN option outside the message");
    if (token == 1 && len >= 1) encryption = static_cast<uint8_t>(body[off]);
  }
}

namespace {

// Skips ALL_HEADERS when present (TDS 7.2 and later always send it).
void skip_all_headers(reader& r, std::string_view body) {
  if (body.size() < 4) return;
  reader peek(body);
  const uint32_t total = peek.u32();
  if (total < 4 || total > body.size()) throw tds_protocol_error("bad ALL_HEADERS length");
  uint32_t used = 4;
  while (used < total) {
    const uint32_t len = peek.u32();
    if (len < 6 || len > total - used) throw tds_protocol_error("bad header length");
    peek.skip(len - 4);
    used += len;
  }
  r.skip(total);
}

}  // namespace

std::string parse_sql_batch(std::string_view body) {
  reader r(body);
  skip_all_headers(r, body);
  if (r.left() % 2) throw tds_protocol_error("odd length of batch text");
  return std::string(r.bytes(r.left()));
}

rpc_request parse_rpc(std::string_view body) {
  reader r(body);
  skip_all_headers(r, body);
  rpc_request q;
  const uint16_t name_len = r.u16();
  if (name_len == 0xFFFF) q.proc_id = r.u16();
  else q.proc_name = utf16_to_utf8(r.utf16(name_len));
  r.u16();  // option flags
  while (!r.at_end()) {
    const uint8_t peek = static_cast<uint8_t>(*r.pos());
    if (peek == 0x80 || peek == 0xFF || peek == 0xFE) break;  // the next request of a batch
    rpc_param p;
    p.name = utf16_to_utf8(r.b_varchar());
    r.u8();  // status flags
    p.column = read_type_info(r, false);
    p.data = read_value(r, p.column);
    q.params.push_back(std::move(p));
    if (q.params.size() > 2100) throw tds_protocol_error("too many parameters");
  }
  return q;
}

void bulk_decoder::feed(std::string_view bytes) {
  if (pos_ > 0 && pos_ == buf_.size()) {
    buf_.clear();
    pos_ = 0;
  } else if (pos_ > (1u << 20)) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  buf_.append(bytes);
  if (buf_.size() - pos_ > max_value + (1u << 20)) throw tds_protocol_error("bulk row too long");
}

bool bulk_decoder::next(std::vector<cell>& out) {
  while (!done_ && pos_ < buf_.size()) {
    reader r(std::string_view(buf_).substr(pos_));
    try {
      const uint8_t token = r.u8();
      if (!have_meta_) {
        if (token != 0x81) throw tds_protocol_error("bulk load without COLMETADATA");
        const uint16_t n = r.u16();
        if (n == 0 || n == 0xFFFF || n > 4096) throw tds_protocol_error("bad column count");
        std::vector<wire_column> cols;
        for (uint16_t i = 0; i < n; ++i) {
          wire_column c;
          const uint32_t user_type = r.u32();
          (void)user_type;
          const uint16_t flags = r.u16();
          c = read_type_info(r, true);
          c.flags = flags;
          c.name = r.b_varchar();
          cols.push_back(std::move(c));
        }
        columns_ = std::move(cols);
        have_meta_ = true;
        pos_ += static_cast<std::size_t>(r.pos() - (buf_.data() + pos_));
        continue;
      }
      if (token == 0xD1) {
        std::vector<cell> row;
        row.reserve(columns_.size());
        for (const auto& c : columns_) row.push_back(read_value(r, c));
        pos_ += static_cast<std::size_t>(r.pos() - (buf_.data() + pos_));
        out = std::move(row);
        return true;
      }
      if (token == 0xFD) {
        r.skip(2 + 2 + 8);
        pos_ += static_cast<std::size_t>(r.pos() - (buf_.data() + pos_));
        done_ = true;
        return false;
      }
      throw tds_protocol_error("unknown token in a bulk load");
    } catch (const tds_truncated&) {
      return false;  // wait for more bytes
    }
  }
  return false;
}

void bulk_decoder::finish() const {
  if (!have_meta_) throw tds_protocol_error("bulk load without COLMETADATA");
  if (pos_ != buf_.size()) throw tds_protocol_error("bulk load ends inside a token");
}

std::string message_assembler::take_buffered() {
  std::string rest = buf_.substr(pos_);
  buf_.clear();
  pos_ = 0;
  return rest;
}

bool message_assembler::next_packet(packet_header& h, std::string& body) {
  if (buf_.size() - pos_ < packet_header_size) {
    if (pos_) { buf_.erase(0, pos_); pos_ = 0; }
    return false;
  }
  h = parse_header(std::string_view(buf_).substr(pos_, packet_header_size));
  if (h.length < packet_header_size || h.length > packet_limit_) throw tds_protocol_error("bad packet length");
  if (buf_.size() - pos_ < h.length) {
    if (pos_) { buf_.erase(0, pos_); pos_ = 0; }
    return false;
  }
  body.assign(buf_, pos_ + packet_header_size, h.length - packet_header_size);
  pos_ += h.length;
  if (pos_ == buf_.size()) { buf_.clear(); pos_ = 0; }
  return true;
}

}  // namespace tds
