// The statement subset of the test server: a lexer, a parser that turns a
// whole batch into steps before any runs (so a syntax error runs nothing, as
// on SQL Server), and the steps themselves.
#include "tests/support/tds_server/tds_sql.h"

#include <algorithm>
#include <memory>

#include "tests/support/tds_server/tds_owners.h"
#include "tests/support/tds_server/tds_permissions.h"
#include "tests/support/tds_server/tds_protocol.h"
#include "tests/support/tds_server/tds_views.h"

namespace tds {

namespace {

// ---- lexer ---------------------------------------------------------------
enum class tk { end, ident, quoted, str, nstr, integer, decimal, floating, hex, var, gvar, sym };

struct token {
  tk kind = tk::end;
  std::string text;  // identifiers unquoted; strings unescaped; binary as bytes
  std::string raw;   // as written
  std::size_t pos = 0, end = 0;
};

[[noreturn]] void syntax_near(const std::string& near) {
  raise(102, 15, "Incorrect syntax near '" + near + "'.");
}

uint16_t collation_named(const std::string& name) {
  const auto c = find_collation(name);
  if (!c) raise(448, 16, "Invalid collation '" + name + "'.");
  return *c;
}

// A column's collation: the one it names, else the database's (character types only).
void settle_collation(column_def& c, uint16_t database_collation) {
  if (is_char(c.type.type) || is_unicode(c.type.type)) c.type.collation = c.collate.value_or(database_collation);
  c.collate.reset();
}

bool ident_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
         c == '$' || c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

// With quoted_identifier off, "..." is a string, as SQL Server reads it; the
// setting changes where the text says SET QUOTED_IDENTIFIER ON/OFF.
bool is_kw(const token& t, const char* kw);

std::vector<token> lex(std::string_view s, bool quoted_identifier = true) {
  std::vector<token> out;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') { ++i; continue; }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      int depth = 0;
      do {
        if (s.compare(i, 2, "/*") == 0) { ++depth; i += 2; }
        else if (s.compare(i, 2, "*/") == 0) { --depth; i += 2; }
        else ++i;
      } while (depth > 0 && i < s.size());
      if (depth > 0) raise(113, 15, "Missing end comment mark '*/'.");
      continue;
    }
    token t;
    t.pos = i;
    if (c == '[' || (c == '"' && quoted_identifier)) {
      const char close = c == '[' ? ']' : '"';
      ++i;
      while (true) {
        if (i >= s.size()) raise(105, 15, "Unclosed quotation mark after the character string '" + t.text + "'.");
        if (s[i] == close) {
          if (i + 1 < s.size() && s[i + 1] == close) { t.text.push_back(close); i += 2; continue; }
          ++i;
          break;
        }
        t.text.push_back(s[i++]);
      }
      t.kind = tk::quoted;
    } else if (c == '\'' || c == '"' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      t.kind = c == 'N' || c == 'n' ? tk::nstr : tk::str;
      const char q = c == '"' ? '"' : '\'';
      i += t.kind == tk::nstr ? 2 : 1;
      while (true) {
        if (i >= s.size()) raise(105, 15, "Unclosed quotation mark after the character string '" + t.text + "'.");
        if (s[i] == q) {
          if (i + 1 < s.size() && s[i + 1] == q) { t.text.push_back(q); i += 2; continue; }
          ++i;
          break;
        }
        t.text.push_back(s[i++]);
      }
    } else if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      i += 2;
      std::string hex;
      while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) hex.push_back(s[i++]);
      if (hex.size() % 2) hex.insert(hex.begin(), '0');
      for (std::size_t k = 0; k < hex.size(); k += 2) t.text.push_back(static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16)));
      t.kind = tk::hex;
    } else if ((c >= '0' && c <= '9') || (c == '.' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9')) {
      t.kind = tk::integer;
      while (i < s.size() && s[i] >= '0' && s[i] <= '9') t.text.push_back(s[i++]);
      if (i < s.size() && s[i] == '.') {
        t.kind = tk::decimal;
        t.text.push_back(s[i++]);
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') t.text.push_back(s[i++]);
      }
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
          t.kind = tk::floating;
          t.text.append(s.substr(i, j - i));
          i = j;
          while (i < s.size() && s[i] >= '0' && s[i] <= '9') t.text.push_back(s[i++]);
        }
      }
    } else if (c == '@') {
      t.kind = i + 1 < s.size() && s[i + 1] == '@' ? tk::gvar : tk::var;
      while (i < s.size() && ident_char(s[i])) t.text.push_back(s[i++]);
    } else if (ident_char(c)) {
      t.kind = tk::ident;
      while (i < s.size() && ident_char(s[i])) t.text.push_back(s[i++]);
    } else {
      t.kind = tk::sym;
      static const char* two[] = {"<=", ">=", "<>", "!=", "=="};
      for (const char* op : two) {
        if (s.compare(i, 2, op) == 0) { t.text = op; i += 2; break; }
      }
      if (t.text.empty()) t.text = std::string(1, s[i++]);
    }
    t.end = i;
    t.raw = std::string(s.substr(t.pos, i - t.pos));
    // Identifiers hold at most 128 UTF-16 units.
    if ((t.kind == tk::ident || t.kind == tk::quoted) && utf8_to_utf16(t.text).size() > 2 * 128)
      raise(103, 15, "The identifier that starts with '" + utf16_to_utf8(utf8_to_utf16(t.text).substr(0, 2 * 128)) +
                         "' is too long. Maximum length is 128.", 4);
    out.push_back(std::move(t));
    const std::size_t n = out.size();
    if (n >= 3 && is_kw(out[n - 3], "SET") && is_kw(out[n - 2], "QUOTED_IDENTIFIER"))
      quoted_identifier = !is_kw(out[n - 1], "OFF");
  }
  token e;
  e.pos = e.end = s.size();
  out.push_back(e);
  return out;
}

// ---- expressions ---------------------------------------------------------
struct expr;
using expr_ptr = std::shared_ptr<expr>;
struct expr {
  enum kind_t { literal, column, variable, global, function, convert, count_star, star } kind = literal;
  value lit;
  std::string name;  // column, variable, global or function name
  std::vector<expr_ptr> args;
  column_type type;  // for convert
  std::string alias;
  std::string text;  // as written
};

struct name_parts {
  std::string database, owner, name;
  std::string written;  // as SQL Server quotes it in messages: the parts joined by '.'
};

bool is_kw(const token& t, const char* kw) {
  if (t.kind != tk::ident) return false;
  if (t.text.size() != std::strlen(kw)) return false;
  for (std::size_t i = 0; i < t.text.size(); ++i) {
    char c = t.text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != kw[i]) return false;
  }
  return true;
}

const char* const reserved[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "ALTER", "USE", "SET", "EXEC",
                                "EXECUTE", "FROM", "WHERE", "ORDER", "GROUP", "VALUES", "INTO", "TABLE", "DATABASE", "AND",
                                "OR", "ON", "AS", "BEGIN", "END", "IF", "PRINT", "DECLARE", "GO", "GRANT", "UNION"};
bool is_reserved(const token& t) {
  for (const char* r : reserved) {
    if (is_kw(t, r)) return true;
  }
  return false;
}

// ---- the batch -------------------------------------------------------------
using step = std::function<void()>;

class batch {
 public:
  batch(server_context& ctx, session_state& s, response& out, std::string_view sql)
      : ctx_(ctx), s_(s), out_(out), sql_(sql), t_(lex(sql, s.quoted_identifier)) {}

  std::vector<step> parse_all() {
    std::vector<step> steps;
    while (peek().kind != tk::end) {
      if (sym(";")) continue;
      steps.push_back(statement());
    }
    return steps;
  }

  column_type parse_type_public() { return parse_type(); }
  // Exposed for RPC calls.
  void exec_procedure(const std::string& proc, const std::vector<std::pair<std::string, value>>& args);

 private:
  server_context& ctx_;
  session_state& s_;
  response& out_;
  std::string_view sql_;
  std::vector<token> t_;
  std::size_t p_ = 0;
  int depth_ = 0;  // of nested expressions

  // -- token helpers
  const token& peek(std::size_t ahead = 0) const { return t_[std::min(p_ + ahead, t_.size() - 1)]; }
  const token& next() {
    const token& t = t_[p_];
    if (p_ + 1 < t_.size()) ++p_;
    return t;
  }
  [[noreturn]] void fail() const {
    const token& t = peek();
    if (t.kind == tk::end) syntax_near(p_ > 0 ? t_[p_ - 1].raw : std::string(""));
    syntax_near(t.raw);
  }
  bool kw(const char* k) {
    if (is_kw(peek(), k)) { next(); return true; }
    return false;
  }
  void expect_kw(const char* k) { if (!kw(k)) fail(); }
  bool sym(const char* s) {
    if (peek().kind == tk::sym && peek().text == s) { next(); return true; }
    return false;
  }
  void expect_sym(const char* s) { if (!sym(s)) fail(); }
  std::string identifier() {
    const token& t = peek();
    if (t.kind == tk::quoted || (t.kind == tk::ident && !is_reserved(t))) return next().text;
    fail();
  }
  name_parts object_name() {
    std::vector<std::string> parts;
    std::string written;
    parts.push_back(identifier());
    written = parts.back();
    while (sym(".")) {
      if (peek().kind == tk::sym && peek().text == ".") { parts.push_back(""); written += "."; continue; }
      parts.push_back(identifier());
      written += "." + parts.back();
    }
    if (parts.size() > 4) fail();
    name_parts n;
    n.name = parts.back();
    if (parts.size() >= 2) n.owner = parts[parts.size() - 2];
    if (parts.size() >= 3) n.database = parts[parts.size() - 3];
    n.written = written;
    return n;
  }
  int integer_literal() {
    if (peek().kind != tk::integer) fail();
    const std::string& t = next().text;
    if (t.size() > 9) raise(1007, 15, "The number '" + t + "' is out of the range for numeric representation (maximum precision 38).");
    return std::stoi(t);
  }

  // -- names and tables
  database& db_of(const name_parts& n) {
    const std::string dbname = n.database.empty() ? s_.database : n.database;
    database* db = ctx_.cat.find(dbname);
    if (!db) raise(208, 16, "Invalid object name '" + n.written + "'.");
    return *db;
  }
  table& table_of(const name_parts& n) {
    table* t = resolve_table(ctx_, s_, db_of(n), n.owner, n.name);
    if (!t) raise(208, 16, "Invalid object name '" + n.written + "'.");
    return *t;
  }
  // The table n names, or null (no database, no table).
  // A table a statement changes: missing or not the session's to change, SQL Server's error for that statement.
  table& changed_table(const name_parts& n, table_change what) {
    table* t = find_table(n);
    if (!t) {
      const std::string text = "Cannot find the object \"" + n.written + "\" because it does not exist or you do not have permissions.";
      raise(what == table_change::truncate ? 4701 : what == table_change::index ? 1088 : 4902, 16, text);
    }
    check_table_change(ctx_, s_, db_of(n), *t, n.written, what);
    return *t;
  }
  table* find_table(const name_parts& n) {
    database* db = ctx_.cat.find(n.database.empty() ? s_.database : n.database);
    return db ? resolve_table(ctx_, s_, *db, n.owner, n.name) : nullptr;
  }
  std::string table_key(const name_parts& n) {
    const table* t = find_table(n);
    return name_key((n.database.empty() ? s_.database : n.database) + "." + (t ? t->owner : n.owner) + "." + n.name);
  }
  // A foreign key written without the owner of the table it references.
  void resolve_reference(database& db, foreign_key& fk) {
    if (!fk.ref_owner.empty()) return;
    const table* parent = resolve_table(ctx_, s_, db, "", fk.ref_table);
    fk.ref_owner = parent ? parent->owner : "dbo";
  }

  // -- statements
  step statement();
  step select_statement(bool count_only_subquery = false);
  step create_statement();
  step create_principal();
  step drop_statement();
  step insert_statement();
  step update_statement();
  step delete_statement();
  // "WHERE c = v AND c IS NULL ...": a condition without an expression is IS NULL.
  using conditions = std::vector<std::pair<std::string, expr_ptr>>;
  conditions where_clause();
  std::vector<std::pair<int, cell>> resolve(const table& t, const conditions& where);
  bool matches(const table& t, const std::vector<std::pair<int, cell>>& conds, const std::vector<cell>& cells);
  step alter_statement();
  step grant_statement();
  void alterable(database& db, const table& t, const column_def& c, const std::string& written, const column_type& to);
  step set_statement();
  step exec_statement();
  step insert_bulk();
  step transaction_statement();
  // Waits while another session's locks conflict (tds_locks.h); after a wait the statement runs again.
  enum class lock_kind { write, scan, schema };
  void await(std::unique_lock<std::mutex>& lock, const database& db, const table& t, lock_kind kind);
  void await_keys(std::unique_lock<std::mutex>& lock, const database& db, const table& t,
                  const std::vector<std::vector<cell>>& rows);
  // Before ALTER, TRUNCATE, DROP, CREATE/DROP INDEX: the schema lock, and the table kept for ROLLBACK.
  void schema_change(std::unique_lock<std::mutex>& lock, const database& db, const table& t);
  void column_definition(table& t, std::vector<std::function<void(table&)>>& later);
  void table_constraint(table& t, std::string name, std::vector<std::function<void(table&)>>& later);
  std::vector<std::string> column_list(bool allow_order);
  check_def check_clause();
  foreign_key references(std::vector<std::string> cols);

  // -- expressions
  column_type parse_type();
  expr_ptr expression();
  expr_ptr primary();
  value eval(const expr& e, const table* t = nullptr, const std::vector<cell>* row = nullptr);
  result_column describe(const expr& e, const value& v);

  void info(int number, std::string text) { out_.message(sql_error{number, 0, 1, std::move(text)}, true); }
  void sp_tables(const std::vector<std::pair<std::string, value>>& args);
  void sp_columns(const std::vector<std::pair<std::string, value>>& args);
  void sp_pkeys(const std::vector<std::pair<std::string, value>>& args);
  void sp_statistics(const std::vector<std::pair<std::string, value>>& args);
  void sp_fkeys(const std::vector<std::pair<std::string, value>>& args);
  void sp_adduser(const std::vector<std::pair<std::string, value>>& args);
  void sp_executesql(const std::vector<std::pair<std::string, value>>& args);
};

// The DONE commands SQL Server reports.
constexpr uint16_t cmd_select = 0xC1, cmd_insert = 0xC3, cmd_update = 0xC5, cmd_other = 0xE0;

column_type batch::parse_type() {
  const token& t = peek();
  if (t.kind != tk::ident && t.kind != tk::quoted) fail();
  std::string name = next().text;
  if (is_kw(t_[p_ - 1], "DOUBLE") && is_kw(peek(), "PRECISION")) { next(); name = "float"; }
  std::optional<int> a1, a2;
  if (sym("(")) {
    if (kw("MAX")) a1 = -1;
    else a1 = integer_literal();
    if (sym(",")) a2 = integer_literal();
    expect_sym(")");
  }
  auto type = make_type(name, a1, a2);
  if (!type) raise(2715, 16, "Column, parameter, or variable #1: Cannot find data type " + name + ".");
  return *type;
}

expr_ptr batch::expression() {
  const std::size_t start = peek().pos;
  auto e = primary();
  e->text = std::string(sql_.substr(start, t_[p_ > 0 ? p_ - 1 : 0].end - start));
  return e;
}

expr_ptr batch::primary() {
  struct nesting {
    int& depth;
    explicit nesting(int& d) : depth(d) {
      if (++depth > 128)
        raise(191, 15, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller queries.");
    }
    ~nesting() { --depth; }
  } guard(depth_);
  auto e = std::make_shared<expr>();
  const token& t = peek();
  if (sym("(")) {
    auto inner = expression();
    expect_sym(")");
    return inner;
  }
  if (t.kind == tk::sym && (t.text == "-" || t.text == "+")) {
    const bool neg = next().text == "-";
    auto inner = primary();
    if (inner->kind != expr::literal || (inner->lit.kind != value::integer && inner->lit.kind != value::decimal &&
                                         inner->lit.kind != value::floating))
      fail();
    if (neg) inner->lit.text = inner->lit.text[0] == '-' ? inner->lit.text.substr(1) : "-" + inner->lit.text;
    return inner;
  }
  switch (t.kind) {
    case tk::str: case tk::nstr:
      e->lit = value::of_string(t.text, t.kind == tk::nstr);
      e->lit.literal = true;
      next();
      return e;
    case tk::integer: e->lit.kind = value::integer; e->lit.text = next().text; return e;
    case tk::decimal: e->lit.kind = value::decimal; e->lit.text = next().text; return e;
    case tk::floating: e->lit.kind = value::floating; e->lit.text = next().text; return e;
    case tk::hex: e->lit.kind = value::binary; e->lit.text = next().text; return e;
    case tk::var: e->kind = expr::variable; e->name = next().text; return e;
    case tk::gvar: e->kind = expr::global; e->name = name_key(next().text); return e;
    case tk::sym:
      if (t.text == "*") { next(); e->kind = expr::star; return e; }
      if (t.text == "{") {
        // An ODBC escape: { ts 'yyyy-mm-dd hh:mm:ss[.fff]' }, { d '...' }, { t '...' }: a datetime in every date order.
        next();
        if (!(kw("TS") || kw("D") || kw("T")) || (peek().kind != tk::str && peek().kind != tk::nstr)) fail();
        const column_type dt{sql_type::datetime};
        e->lit = value::of_typed(dt, convert(value::of_string(next().text, false), dt));
        expect_sym("}");
        return e;
      }
      fail();
    case tk::ident:
      if (kw("NULL")) return e;
      if (is_kw(t, "CONVERT") || is_kw(t, "TRY_CONVERT")) {
        next();
        expect_sym("(");
        e->kind = expr::convert;
        e->type = parse_type();
        expect_sym(",");
        e->args.push_back(expression());
        if (sym(",")) e->args.push_back(expression());
        expect_sym(")");
        return e;
      }
      if (is_kw(t, "CAST")) {
        next();
        expect_sym("(");
        e->kind = expr::convert;
        e->args.push_back(expression());
        expect_kw("AS");
        e->type = parse_type();
        expect_sym(")");
        return e;
      }
      if (is_kw(t, "COUNT") && peek(1).kind == tk::sym && peek(1).text == "(") {
        next();
        expect_sym("(");
        if (!sym("*")) fail();
        expect_sym(")");
        e->kind = expr::count_star;
        return e;
      }
      if (is_reserved(t)) fail();
      [[fallthrough]];
    case tk::quoted: {
      std::string name = next().text;
      if (t_[p_ - 1].kind == tk::ident && sym("(")) {
        e->kind = expr::function;
        e->name = name_key(name);
        if (!sym(")")) {
          do e->args.push_back(expression()); while (sym(","));
          expect_sym(")");
        }
        return e;
      }
      while (sym(".")) name = identifier();  // table.column: the column
      e->kind = expr::column;
      e->name = name;
      return e;
    }
    default:
      fail();
  }
}

// A character or binary value cut to the size of type `to`, as a value of the
// (max) type of its family.
value cut_to_size(const value& v, const column_type& to) {
  const sql_type st = to.type;
  const column_type whole{is_unicode(st) ? sql_type::nvarchar : is_binary(st) ? sql_type::varbinary : sql_type::varchar, -1};
  cell c = convert(v, whole);
  c.bytes.resize(std::min(c.bytes.size(), static_cast<std::size_t>(to.length) * (is_unicode(st) ? 2 : 1)));
  return value::of_typed(whole, std::move(c));
}

value batch::eval(const expr& e, const table* t, const std::vector<cell>* row) {
  switch (e.kind) {
    case expr::literal: return e.lit;
    case expr::column: {
      if (!t) raise(207, 16, "Invalid column name '" + e.name + "'.");
      const int i = t->column_index(e.name);
      if (i < 0) raise(207, 16, "Invalid column name '" + e.name + "'.");
      return value::of_typed(t->columns[static_cast<std::size_t>(i)].type, (*row)[static_cast<std::size_t>(i)]);
    }
    case expr::variable: {
      auto it = s_.variables.find(name_key(e.name));
      if (it == s_.variables.end()) raise(137, 15, "Must declare the scalar variable \"" + e.name + "\".");
      return it->second;
    }
    case expr::global: {
      column_type nv{sql_type::nvarchar, 4000, 0, 0};
      if (e.name == "@@VERSION") return value::of_typed(nv, cell::of(utf8_to_utf16(ctx_.version())));
      if (e.name == "@@SERVERNAME") return value::of_typed(nv, cell::of(utf8_to_utf16("ORVTDS")));
      if (e.name == "@@LANGUAGE") return value::of_typed({sql_type::nvarchar, 128}, cell::of(utf8_to_utf16(s_.lang->name)));
      if (e.name == "@@LANGID")
        return value::of_typed({sql_type::smallint}, cell::of(std::string{static_cast<char>(s_.lang->langid), '\0'}));
      if (e.name == "@@SPID") return value::of_typed({sql_type::smallint}, cell::of(std::string{static_cast<char>(s_.spid & 0xFF), static_cast<char>(s_.spid >> 8)}));
      if (e.name == "@@TRANCOUNT" || e.name == "@@LOCK_TIMEOUT") {
        const int32_t n = e.name == "@@TRANCOUNT" ? s_.tran.count : s_.lock_timeout;
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((static_cast<uint32_t>(n) >> (8 * i)) & 0xFF);
        return value::of_typed({sql_type::int_}, cell::of(b));
      }
      if (e.name == "@@IDENTITY") {
        if (!s_.last_identity) return value::of_null();
        value v; v.kind = value::integer; v.text = std::to_string(*s_.last_identity); return v;
      }
      raise(137, 15, "Must declare the scalar variable \"" + e.name + "\".");
    }
    case expr::function: {
      auto arg_text = [&](std::size_t i) -> std::string {
        if (i >= e.args.size()) return "";
        value v = eval(*e.args[i], t, row);
        return v.kind == value::typed ? render(v.type, v.data) : v.text;
      };
      if (e.name == "SCOPE_IDENTITY" || e.name == "IDENT_CURRENT") {
        if (!s_.last_identity) return value::of_null();
        value v; v.kind = value::integer; v.text = std::to_string(*s_.last_identity); return v;
      }
      if (e.name == "DB_NAME") return value::of_typed({sql_type::nvarchar, 128}, cell::of(utf8_to_utf16(s_.database)));
      if (e.name == "SCHEMA_NAME" && owners_are_users(ctx_))
        raise(195, 15, "'" + e.name + "' is not a recognized built-in function name.");
      if ((e.name == "USER_NAME" || e.name == "SCHEMA_NAME") && !e.args.empty()) {
        // By id: only the fixed ones (dbo 1, guest 2) and the schemas of this database.
        const std::string id = arg_text(0);
        if (e.name == "USER_NAME") return id == "1" ? value::of_typed({sql_type::nvarchar, 128}, cell::of(utf8_to_utf16("dbo"))) : value::of_null();
        database* db = ctx_.cat.find(s_.database);  // expressions run under the catalog's lock
        for (const auto& [k, sc] : db ? db->schemas : std::map<std::string, db_schema>{}) {
          if (std::to_string(sc.id) == id) return value::of_typed({sql_type::nvarchar, 128}, cell::of(utf8_to_utf16(sc.name)));
        }
        return value::of_null();
      }
      if (e.name == "USER_NAME" || e.name == "SCHEMA_NAME" || e.name == "SUSER_SNAME" || e.name == "SUSER_NAME") {
        const std::string& v = e.name == "USER_NAME" ? s_.db_user : e.name == "SCHEMA_NAME" ? s_.default_schema : s_.user;
        return value::of_typed({sql_type::nvarchar, 128}, cell::of(utf8_to_utf16(v)));
      }
      if (e.name == "IS_MEMBER" || e.name == "IS_SRVROLEMEMBER" || e.name == "HAS_PERMS_BY_NAME") {
        if (e.name == "HAS_PERMS_BY_NAME" && owners_are_users(ctx_))
          raise(195, 15, "'" + e.name + "' is not a recognized built-in function name.");
        std::optional<int> r;
        if (e.name == "IS_MEMBER") {
          r = is_member(ctx_, s_, arg_text(0));
        } else if (e.name == "IS_SRVROLEMEMBER") {
          r = is_server_role_member(ctx_, s_, arg_text(0));
        } else {
          auto optional_arg = [&](std::size_t i) -> std::optional<std::string> {
            if (i >= e.args.size()) return std::nullopt;
            value v = eval(*e.args[i], t, row);
            if (v.kind == value::null) return std::nullopt;
            return v.kind == value::typed ? render(v.type, v.data) : v.text;
          };
          r = has_perms_by_name(ctx_, s_, optional_arg(0), optional_arg(1), arg_text(2));
        }
        if (!r) return value::of_null();
        value v; v.kind = value::integer; v.text = std::to_string(*r); return v;
      }
      if (e.name == "COLLATIONPROPERTY" || e.name == "DATABASEPROPERTYEX") {
        // sql_variant: an int (CodePage, LCID, ComparisonStyle, Version) or the collation's name.
        const std::string property = name_key(arg_text(1));
        std::optional<uint16_t> c;
        if (e.name == "COLLATIONPROPERTY") {
          c = find_collation(arg_text(0));
        } else if (property == "COLLATION") {
          if (const database* db = ctx_.cat.find(arg_text(0))) c = db->collation;
        }
        if (!c) return value::of_null();
        if (property == "COLLATION") {
          const column_type nv{sql_type::nvarchar, 128, 0, 0, s_.db_collation};
          return value::of_typed({sql_type::sql_variant}, variant_of(nv, cell::of(utf8_to_utf16(collation(*c).name))));
        }
        int32_t n;
        if (property == "CODEPAGE") n = collation(*c).code_page;
        else if (property == "LCID") n = static_cast<int32_t>(collation(*c).lcid);
        else if (property == "COMPARISONSTYLE") n = comparison_style(*c);
        else if (property == "VERSION") n = collation(*c).version;
        else return value::of_null();
        return value::of_typed({sql_type::sql_variant},
                               variant_of({sql_type::int_}, cell::of(std::string(reinterpret_cast<const char*>(&n), 4))));
      }
      if (e.name == "GETDATE" || e.name == "CURRENT_TIMESTAMP" || e.name == "SYSDATETIME")
        return value::of_string("2026-01-01 12:00:00.000", false);
      if (e.name == "NEWID") return value::of_string("6F9619FF-8B86-D011-B42D-00C04FC964FF", false);
      if (e.name == "SERVERPROPERTY") {
        const std::string p = name_key(arg_text(0));
        if (p == "PRODUCTVERSION") return value::of_string("15.0.2000.5", true);
        if (p == "EDITION") return value::of_string("Developer Edition (64-bit)", true);
        return value::of_null();
      }
      if (e.name == "OBJECT_ID") {
        const std::string n = arg_text(0);
        batch sub(ctx_, s_, out_, n);
        try {
          name_parts np = sub.object_name();
          table* tb = find_table(np);
          if (!tb) return value::of_null();
          value v; v.kind = value::integer; v.text = std::to_string(tb->object_id); return v;
        } catch (const sql_error&) {
          return value::of_null();
        }
      }
      if (e.name == "DB_ID") {
        database* db = ctx_.cat.find(arg_text(0));
        if (!db) return value::of_null();
        value v; v.kind = value::integer; v.text = "5"; return v;
      }
      if (e.name == "LEN" || e.name == "DATALENGTH") {
        value v = eval(*e.args.at(0), t, row);
        if (v.kind == value::null) return v;
        value n; n.kind = value::integer;
        if (e.name == "DATALENGTH" && v.kind == value::typed) n.text = std::to_string(v.data.bytes.size());
        else n.text = std::to_string(utf8_to_utf16(v.kind == value::typed ? render(v.type, v.data) : v.text).size() / 2);
        return n;
      }
      raise(195, 15, "'" + e.name + "' is not a recognized built-in function name.");
    }
    case expr::convert: {
      value v = eval(*e.args[0], t, row);
      column_type to = e.type;
      if (is_char(to.type) || is_unicode(to.type)) to.collation = s_.db_collation;
      try {
        return value::of_typed(to, convert(v, to, s_.conversion()));
      } catch (const sql_error& x) {
        // CONVERT and CAST cut character and binary values to the size asked for.
        if (x.number != 8152) throw;
        return value::of_typed(to, convert(cut_to_size(v, to), to, s_.conversion()));
      }
    }
    case expr::count_star:
    case expr::star:
      fail();
  }
  return value{};
}

// The type a SELECT shows for a value without a column.
result_column batch::describe(const expr& e, const value& v) {
  result_column c;
  c.name = e.alias;
  switch (v.kind) {
    case value::null: c.type = {sql_type::int_}; break;
    case value::integer: {
      const bool big = v.text.size() > 9;
      c.type = big ? column_type{sql_type::numeric, 0, std::max<int>(static_cast<int>(v.text.size()), 10), 0}
                   : column_type{sql_type::int_};
      if (big && c.type.precision > 38) c.type.precision = 38;
      break;
    }
    case value::decimal: {
      const auto dot = v.text.find('.');
      const int scale = dot == std::string::npos ? 0 : static_cast<int>(v.text.size() - dot - 1);
      int digits = 0;
      for (char ch : v.text) digits += ch >= '0' && ch <= '9';
      c.type = {sql_type::numeric, 0, std::min(38, std::max(digits, scale + 1)), std::min(scale, 38)};
      break;
    }
    case value::floating: c.type = {sql_type::float_}; break;
    case value::string: {
      const int len = static_cast<int>(v.national ? utf8_to_utf16(v.text).size() / 2 : v.text.size());
      const int limit = v.national ? 4000 : 8000;
      c.type = {v.national ? sql_type::nvarchar : sql_type::varchar, len == 0 ? 1 : len > limit ? -1 : len, 0, 0, s_.db_collation};
      break;
    }
    case value::binary: {
      const int len = static_cast<int>(v.text.size());
      c.type = {sql_type::varbinary, len == 0 ? 1 : len > 8000 ? -1 : len};
      break;
    }
    case value::typed: c.type = v.type; break;
  }
  if (is_long(c.type.type)) c.table = "";
  return c;
}

std::vector<std::string> batch::column_list(bool allow_order) {
  std::vector<std::string> cols;
  expect_sym("(");
  do {
    cols.push_back(identifier());
    if (allow_order && !kw("ASC")) kw("DESC");
  } while (sym(","));
  expect_sym(")");
  return cols;
}

step batch::statement() {
  const token& t = peek();
  if (is_kw(t, "SELECT")) return select_statement();
  if (is_kw(t, "CREATE")) return create_statement();
  if (is_kw(t, "DROP")) return drop_statement();
  if (is_kw(t, "INSERT")) {
    if (is_kw(peek(1), "BULK")) return insert_bulk();
    return insert_statement();
  }
  if (is_kw(t, "UPDATE")) return update_statement();
  if (is_kw(t, "DELETE") || is_kw(t, "TRUNCATE")) return delete_statement();
  if (is_kw(t, "ALTER")) return alter_statement();
  if (is_kw(t, "GRANT") || is_kw(t, "REVOKE") || is_kw(t, "DENY")) return grant_statement();
  if (is_kw(t, "SET")) return set_statement();
  if (is_kw(t, "EXEC") || is_kw(t, "EXECUTE")) return exec_statement();
  if ((is_kw(t, "BEGIN") && (is_kw(peek(1), "TRAN") || is_kw(peek(1), "TRANSACTION"))) || is_kw(t, "COMMIT") ||
      is_kw(t, "ROLLBACK"))
    return transaction_statement();
  if (is_kw(t, "USE")) {
    next();
    const std::string name = identifier();
    return [this, name] {
      auto lock = ctx_.cat.lock();
      use_database(ctx_, s_, name, out_);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (t.kind == tk::ident && name_key(t.text).rfind("SP_", 0) == 0 && p_ == 0) return exec_statement();
  fail();
}

step batch::set_statement() {
  next();  // SET
  if (kw("IDENTITY_INSERT")) {
    name_parts n = object_name();
    bool on = false;
    if (kw("ON")) on = true;
    else expect_kw("OFF");
    return [this, n, on] {
      auto lock = ctx_.cat.lock();
      table& t = table_of(n);
      const std::string key = table_key(n);
      if (t.identity_column() < 0)
        raise(8106, 16, "Table '" + n.written + "' does not have the identity property. Cannot perform SET operation.");
      if (on) {
        if (s_.identity_insert && *s_.identity_insert != key)
          raise(8107, 16, "IDENTITY_INSERT is already ON for table '" + *s_.identity_insert + "'. Cannot perform SET operation for table '" + n.written + "'.");
        s_.identity_insert = key;
      } else if (s_.identity_insert == key) {
        s_.identity_insert.reset();
      }
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("QUOTED_IDENTIFIER")) {
    const bool on = kw("ON") || (expect_kw("OFF"), false);
    return [this, on] {
      s_.quoted_identifier = on;
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("LOCK_TIMEOUT")) {
    const bool neg = sym("-");
    const int ms = integer_literal();
    return [this, ms, neg] {
      s_.lock_timeout = neg ? -ms : ms;
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("LANGUAGE") || kw("DATEFORMAT")) {
    const bool language_set = is_kw(t_[p_ - 1], "LANGUAGE");
    const token& arg = peek();
    if (arg.kind != tk::ident && arg.kind != tk::quoted && arg.kind != tk::str && arg.kind != tk::nstr && arg.kind != tk::var) fail();
    next();
    const bool variable = arg.kind == tk::var;
    const std::string written = arg.text;
    return [this, language_set, variable, written] {
      std::string name = written;
      if (variable) {
        auto it = s_.variables.find(name_key(written));
        if (it == s_.variables.end()) raise(137, 15, "Must declare the scalar variable \"" + written + "\".");
        name = it->second.kind == value::typed ? render(it->second.type, it->second.data) : it->second.text;
      }
      if (language_set) {
        const language* l = find_language(name);
        if (!l) raise(2740, 16, "SET LANGUAGE failed because '" + name + "' is not an official language name or a language alias on this SQL Server.");
        const language* old = s_.lang;
        s_.lang = l;
        s_.dateformat = l->order;
        out_.env_change(2, utf8_to_utf16(l->name), utf8_to_utf16(old->name));
        out_.message(sql_error{5703, 0, 1, language_changed_text(*l)}, true);
      } else {
        const auto order = parse_date_order(name);
        if (!order) raise(2741, 16, "SET DATEFORMAT date order '" + name + "' is invalid.");
        s_.dateformat = *order;
      }
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("FMTONLY")) {
    const bool on = kw("ON") || (expect_kw("OFF"), false);
    return [this, on] { s_.fmtonly = on; };
  }
  // Any other option: a word and its value(s), accepted and ignored.
  if (peek().kind != tk::ident) fail();
  next();
  while (peek().kind != tk::end && !(peek().kind == tk::sym && peek().text == ";") &&
         !(is_reserved(peek()) && !is_kw(peek(), "ON"))) {
    if (is_kw(peek(), "SET")) break;
    next();
  }
  return [this] { out_.done(0, 0, 0xFD, cmd_other); };
}

step batch::select_statement(bool) {
  next();  // SELECT
  std::optional<long> top;
  if (kw("TOP")) {
    const bool paren = sym("(");
    top = integer_literal();
    if (paren) expect_sym(")");
  }
  std::vector<expr_ptr> items;
  do {
    auto e = expression();
    if (kw("AS")) e->alias = identifier();
    else if (peek().kind == tk::quoted || (peek().kind == tk::ident && !is_reserved(peek()))) e->alias = identifier();
    else if (peek().kind == tk::str) e->alias = next().text;
    items.push_back(e);
  } while (sym(","));
  std::optional<name_parts> from;
  conditions where;
  std::vector<std::pair<std::string, bool>> order;
  if (kw("FROM")) {
    if (sym("(")) {
      // SELECT COUNT(*) FROM (query) AS q: the rows of the inner query are counted.
      const auto inner_start = p_;
      int depth = 1;
      while (depth > 0) {
        if (peek().kind == tk::end) fail();
        if (peek().kind == tk::sym && peek().text == "(") ++depth;
        if (peek().kind == tk::sym && peek().text == ")") --depth;
        next();
      }
      const std::string inner(sql_.substr(t_[inner_start].pos, t_[p_ - 1].pos - t_[inner_start].pos));
      kw("AS");
      identifier();
      if (items.size() != 1 || items[0]->kind != expr::count_star) fail();
      return [this, inner] {
        // The inner query runs on a copy of the session into a discarded answer;
        // it leaves its row count behind.
        response discard([](std::string& b) { b.clear(); });
        session_state copy = s_;
        batch b(ctx_, copy, discard, inner);
        for (auto& st : b.parse_all()) st();
        const long rows = copy.variables.count("@@ROWCOUNT") ? std::stol(copy.variables["@@ROWCOUNT"].text) : 0;
        result_column c{"", {sql_type::int_}, false, false, ""};
        out_.columns({c});
        std::string b4(4, '\0');
        for (int i = 0; i < 4; ++i) b4[static_cast<std::size_t>(i)] = static_cast<char>((rows >> (8 * i)) & 0xFF);
        out_.row({c}, {cell::of(b4)});
        out_.done(0x10, 1, 0xFD, cmd_select);
      };
    }
    from = object_name();
    if (kw("AS") || (peek().kind == tk::ident && !is_reserved(peek()) && !is_kw(peek(), "WITH"))) identifier();
    if (kw("WITH")) { expect_sym("("); while (!sym(")")) { if (peek().kind == tk::end) fail(); next(); } }
    where = where_clause();
    if (kw("ORDER")) {
      expect_kw("BY");
      do {
        std::string col = identifier();
        bool desc = false;
        if (kw("DESC")) desc = true;
        else kw("ASC");
        order.emplace_back(col, desc);
      } while (sym(","));
    }
  }
  return [this, items, from, where, order, top] {
    const bool fmtonly = s_.fmtonly;
    if (!from) {
      std::vector<result_column> cols;
      std::vector<cell> cells;
      {
        auto lock = ctx_.cat.lock();
        for (const auto& e : items) {
          if (e->kind == expr::star || e->kind == expr::count_star) raise(263, 16, "Must specify table to select from.");
          value v = eval(*e);
          result_column c = describe(*e, v);
          cols.push_back(c);
          cells.push_back(convert(v, c.type, s_.conversion()));
        }
      }
      out_.columns(cols);
      if (!fmtonly) out_.row(cols, cells);
      out_.done(fmtonly ? 0 : 0x10, fmtonly ? 0 : 1, 0xFD, cmd_select);
      s_.variables["@@ROWCOUNT"] = [] { value v; v.kind = value::integer; v.text = "1"; return v; }();
      return;
    }
    std::vector<result_column> cols;
    std::vector<std::vector<cell>> rows;
    {
      auto lock = ctx_.cat.lock();
      // A system view is made from the catalog as it is now.
      const std::unique_ptr<table> view = system_view(db_of(*from), from->owner, from->name);
      table& t = view ? *view : table_of(*from);
      // FMTONLY and TOP 0 read no rows: they wait only on a schema lock.
      if (!view) await(lock, db_of(*from), t, !fmtonly && top != 0L ? lock_kind::scan : lock_kind::write);
      // Columns of the result.
      std::vector<int> picks;  // column index, or -1 - item for an expression
      bool count = false;
      for (std::size_t k = 0; k < items.size(); ++k) {
        const auto& e = items[k];
        if (e->kind == expr::star) {
          for (std::size_t i = 0; i < t.columns.size(); ++i) picks.push_back(static_cast<int>(i));
        } else if (e->kind == expr::count_star) {
          count = true;
          picks.push_back(-1 - static_cast<int>(k));
        } else if (e->kind == expr::column) {
          const int i = t.column_index(e->name);
          if (i < 0) raise(207, 16, "Invalid column name '" + e->name + "'.");
          picks.push_back(i);
        } else {
          picks.push_back(-1 - static_cast<int>(k));
        }
      }
      for (std::size_t k = 0; k < picks.size(); ++k) {
        result_column c;
        if (picks[k] >= 0) {
          const auto& col = t.columns[static_cast<std::size_t>(picks[k])];
          c = {col.name, col.type, col.nullable, col.identity, t.name};
          const auto& e = items[std::min(k, items.size() - 1)];
          if (e->kind == expr::column && !e->alias.empty()) c.name = e->alias;
        } else {
          const auto& e = items[static_cast<std::size_t>(-1 - picks[k])];
          const std::vector<cell> nulls(t.columns.size());
          if (e->kind == expr::count_star) c = {e->alias, {sql_type::int_}, true, false, ""};
          else c = describe(*e, eval(*e, &t, &nulls));
          if (e->kind == expr::function && (e->name == "COLLATIONPROPERTY" || e->name == "DATABASEPROPERTYEX"))
            c.type = {sql_type::sql_variant};
          if (e->kind == expr::convert) {
            c.type = e->type;
            if (is_char(c.type.type) || is_unicode(c.type.type)) c.type.collation = s_.db_collation;
          }
        }
        cols.push_back(c);
      }
      // Filter.
      const auto conds = resolve(t, where);
      std::vector<std::vector<cell>> matched;
      if (!fmtonly) {
        for (const auto& r : t.rows) {
          std::vector<cell> cells = r.cells();
          if (matches(t, conds, cells)) matched.push_back(std::move(cells));
        }
      }
      if (!order.empty()) {
        std::vector<std::pair<int, bool>> keys;
        for (const auto& [col, desc] : order) {
          const int i = t.column_index(col);
          if (i < 0) raise(207, 16, "Invalid column name '" + col + "'.");
          keys.emplace_back(i, desc);
        }
        std::stable_sort(matched.begin(), matched.end(), [&](const auto& a, const auto& b) {
          for (const auto& [i, desc] : keys) {
            const auto& ta = t.columns[static_cast<std::size_t>(i)].type;
            const std::string x = render(ta, a[static_cast<std::size_t>(i)]);
            const std::string y = render(ta, b[static_cast<std::size_t>(i)]);
            if (x == y) continue;
            bool less;
            const sql_type st = ta.type;
            const bool numeric = st == sql_type::tinyint || st == sql_type::smallint || st == sql_type::int_ ||
                                 st == sql_type::bigint || st == sql_type::bit || st == sql_type::real ||
                                 st == sql_type::float_ || st == sql_type::money || st == sql_type::smallmoney ||
                                 st == sql_type::decimal || st == sql_type::numeric;
            if (numeric) {
              less = std::stold(x == "NULL" ? "-1e4000" : x) < std::stold(y == "NULL" ? "-1e4000" : y);
            } else {
              less = x < y;
            }
            return desc ? !less : less;
          }
          return false;
        });
      }
      if (count) {
        const long n = static_cast<long>(matched.size());
        std::vector<cell> one;
        for (std::size_t k = 0; k < picks.size(); ++k) {
          std::string b4(4, '\0');
          for (int i = 0; i < 4; ++i) b4[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
          one.push_back(cell::of(b4));
        }
        rows.push_back(one);
      } else {
        for (auto& cells : matched) {
          if (top && static_cast<long>(rows.size()) >= *top) break;
          std::vector<cell> out;
          out.reserve(picks.size());
          for (std::size_t k = 0; k < picks.size(); ++k) {
            if (picks[k] >= 0) out.push_back(cells[static_cast<std::size_t>(picks[k])]);
            else out.push_back(convert(eval(*items[static_cast<std::size_t>(-1 - picks[k])], &t, &cells), cols[k].type, s_.conversion()));
          }
          rows.push_back(std::move(out));
        }
      }
    }
    out_.columns(cols);
    for (const auto& r : rows) out_.row(cols, r);
    value rc; rc.kind = value::integer; rc.text = std::to_string(rows.size());
    s_.variables["@@ROWCOUNT"] = rc;
    out_.done(fmtonly ? 0 : 0x10, rows.size(), 0xFD, cmd_select);
  };
}

foreign_key batch::references(std::vector<std::string> cols) {
  foreign_key fk;
  fk.columns = std::move(cols);
  name_parts ref = object_name();
  fk.ref_table = ref.name;
  fk.ref_owner = ref.owner;  // resolved when the key is added
  if (peek().kind == tk::sym && peek().text == "(") fk.ref_columns = column_list(false);
  while (kw("ON")) {
    const bool del = kw("DELETE");
    if (!del) expect_kw("UPDATE");
    std::string action;
    if (kw("CASCADE")) action = "CASCADE";
    else if (kw("NO")) { expect_kw("ACTION"); action = "NO ACTION"; }
    else if (kw("SET")) {
      if (kw("NULL")) action = "SET NULL";
      else { expect_kw("DEFAULT"); action = "SET DEFAULT"; }
    } else fail();
    (del ? fk.on_delete : fk.on_update) = action;
  }
  return fk;
}

// Whether a name is among a list of column names.
bool uses(const std::vector<std::string>& columns, const std::string& name) {
  return std::any_of(columns.begin(), columns.end(), [&](const std::string& c) { return name_key(c) == name_key(name); });
}

std::string hex8(int v) {
  static const char* h = "0123456789ABCDEF";
  std::string s;
  for (int i = 7; i >= 0; --i) s.push_back(h[(v >> (4 * i)) & 0xF]);
  return s;
}

// Writing to a table with a filtered index, and creating one, need the
// session's QUOTED_IDENTIFIER ON (1934); `stmt` names the statement.
void check_set_options(const session_state& s, const table& t, const char* stmt, bool new_filtered_index = false) {
  if (s.quoted_identifier) return;
  bool filtered = new_filtered_index;
  for (const auto& ix : t.indexes) filtered = filtered || !ix.filter.empty();
  if (filtered)
    raise(1934, 16, std::string(stmt) + " failed because the following SET options have incorrect settings: "
                    "'QUOTED_IDENTIFIER'. Verify that SET options are correct for use with indexed views and/or indexes "
                    "on computed columns and/or filtered indexes and/or query notifications and/or XML data type methods "
                    "and/or spatial index operations.");
}

// Whether a table or constraint of this schema has the name: tables, views
// and constraints share one namespace per schema.
bool object_named(database& db, const std::string& owner, const std::string& name, const std::string& except_table = "") {
  const std::string k = name_key(name);
  for (auto& [key, t] : db.tables) {
    if (name_key(t->owner) != name_key(owner)) continue;
    if (!except_table.empty() && name_key(t->name) == name_key(except_table)) continue;
    if (name_key(t->name) == k) return true;
    for (const auto& ix : t->indexes) {
      if (ix.constraint && name_key(ix.name) == k) return true;
    }
    for (const auto& fk : t->foreign_keys) {
      if (name_key(fk.name) == k) return true;
    }
    for (const auto& ck : t->checks) {
      if (name_key(ck.name) == k) return true;
    }
    for (const auto& c : t->columns) {
      if (c.default_text && name_key(c.default_name) == k) return true;
    }
  }
  return false;
}

// A table's definition without its rows and keys, to try a change on.
table definition_of(const table& t) {
  table d;
  d.owner = t.owner;
  d.name = t.name;
  d.object_id = t.object_id;
  d.columns = t.columns;
  d.checks = t.checks;
  d.foreign_keys = t.foreign_keys;
  for (const auto& ix : t.indexes) {
    index_def x = ix;
    x.keys.clear();
    d.indexes.push_back(std::move(x));
  }
  return d;
}

// Names the table's unnamed DEFAULT constraints as SQL Server does, and checks
// that every DEFAULT and CHECK constraint's name is free (2714).
void name_defaults_and_checks(database& db, table& t) {
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    auto& c = t.columns[i];
    if (c.default_text && c.default_name.empty())
      c.default_name = "DF__" + t.name.substr(0, 9) + "__" + c.name.substr(0, 5) + "__" + hex8(t.object_id * 17 + static_cast<int>(i));
  }
  std::vector<std::string> names;
  for (const auto& c : t.columns) {
    if (c.default_text) names.push_back(c.default_name);
  }
  for (const auto& ck : t.checks) names.push_back(ck.name);
  for (std::size_t i = 0; i < names.size(); ++i) {
    bool taken = name_key(names[i]) == name_key(t.name) || object_named(db, t.owner, names[i], t.name);
    for (std::size_t k = 0; k < i; ++k) taken = taken || name_key(names[k]) == name_key(names[i]);
    for (const auto& ix : t.indexes) taken = taken || (ix.constraint && name_key(ix.name) == name_key(names[i]));
    if (taken) raise(2714, 16, "There is already an object named '" + names[i] + "' in the database.", 5);
  }
}

[[noreturn]] void object_exists(const std::string& name, int state) {
  raise(2714, 16, "There is already an object named '" + name + "' in the database.", state);
}

// Types an index cannot have as a key column: (max) and the LOB types.
bool invalid_key_type(const column_type& t) {
  return is_long(t.type) || (t.length < 0 && is_string_like(t.type));
}

// Checks and adds a key or index to a table (1913, 1779, 2714 for a clash,
// 1919 for a key column of a (max) or LOB type). `written` names the table as
// the statement did.
void add_index(database& db, table& t, index_def ix, const std::string& written) {
  for (const auto& c : ix.columns) {
    const int i = t.column_index(c);
    if (i < 0) raise(1911, 16, "Column name '" + c + "' does not exist in the target table or view.");
    if (invalid_key_type(t.columns[static_cast<std::size_t>(i)].type))
      raise(1919, 16, "Column '" + c + "' in table '" + written + "' is of a type that is invalid for use as a key column in an index.");
  }
  if (ix.primary && t.primary_key()) {
    raise(1779, 16, "Table '" + t.name + "' already has a primary key defined on it.");
  }
  for (const auto& other : t.indexes) {
    if (name_key(other.name) == name_key(ix.name)) {
      if (ix.constraint) object_exists(ix.name, 5);
      raise(1913, 16, "The operation failed because an index or statistics with name '" + ix.name +
                          "' already exists on table '" + t.owner + "." + t.name + "'.");
    }
  }
  if (ix.constraint) {
    // The table itself may not be in the catalog yet (CREATE TABLE).
    bool taken = name_key(t.name) == name_key(ix.name) || object_named(db, t.owner, ix.name);
    for (const auto& fk : t.foreign_keys) taken = taken || name_key(fk.name) == name_key(ix.name);
    if (taken) object_exists(ix.name, 5);
  }
  if (ix.primary) {
    for (const auto& c : ix.columns) {
      auto& col = t.columns[static_cast<std::size_t>(t.column_index(c))];
      if (col.nullable && !t.rows.empty()) {
        raise(8111, 16, "Cannot define PRIMARY KEY constraint on nullable column in table '" + t.name + "'.");
      }
      col.nullable = false;
    }
  }
  t.indexes.push_back(std::move(ix));
  try {
    t.rebuild_keys();
  } catch (const sql_error& e) {
    const std::string name = t.indexes.back().name;
    t.indexes.pop_back();
    t.rebuild_keys();
    raise(1505, 16, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object name '" +
                        t.owner + "." + t.name + "' and the index name '" + name + "'.");
  }
}

// Creates constraints: an error there is followed by 1750, as on SQL Server.
template <class F>
void creating_constraints(response& out, F&& create) {
  try {
    create();
  } catch (const sql_error& e) {
    out.message(e, false);
    raise(1750, 16, "Could not create constraint or index. See previous errors.", 0);
  }
}

constexpr std::size_t max_columns = 1024;

[[noreturn]] void too_many_columns(const std::string& column, const std::string& table) {
  raise(1702, 16, "CREATE TABLE failed because column '" + column + "' in table '" + table +
                      "' exceeds the maximum of " + std::to_string(max_columns) + " columns.");
}

// A table whose fixed-length columns need more than 8,060 bytes in a row
// cannot be made or changed so (1701). The row's overhead: 4 bytes of header,
// 2 of column count and the null bitmap, then 2 of count and 2 of offset per
// variable-length column.
void check_row_size(const table& t) {
  constexpr long max_row = 8060;
  long fixed = 0, bits = 0, variable = 0;
  for (const auto& c : t.columns) {
    const column_type& ty = c.type;
    if (ty.type == sql_type::bit) ++bits;
    else if (const int f = fixed_size(ty)) fixed += f;
    else if (ty.type == sql_type::char_ || ty.type == sql_type::binary) fixed += ty.length;
    else if (ty.type == sql_type::nchar) fixed += 2L * ty.length;
    else ++variable;
  }
  fixed += (bits + 7) / 8;
  const long n = static_cast<long>(t.columns.size());
  const long overhead = 4 + 2 + (n + 7) / 8 + (variable ? 2 + 2 * variable : 0);
  if (fixed + overhead > max_row)
    raise(1701, 16, "Creating or altering table '" + t.name + "' failed because the minimum row size would be " +
                        std::to_string(fixed + overhead) + ", including " + std::to_string(overhead) +
                        " bytes of internal overhead. This exceeds the maximum allowable table row size of " +
                        std::to_string(max_row) + " bytes.");
}

void add_foreign_key(server_context& ctx, database& db, table& t, foreign_key fk) {
  (void)ctx;
  table* parent = db.find(fk.ref_owner, fk.ref_table);
  if (!parent) raise(1767, 16, "Foreign key '" + fk.name + "' references invalid table '" + fk.ref_table + "'.");
  if (fk.ref_columns.empty()) {
    const index_def* pk = parent->primary_key();
    if (!pk) raise(1773, 16, "Foreign key '" + fk.name + "' has implicit reference to object '" + fk.ref_table + "' which does not have a primary key defined on it.");
    fk.ref_columns = pk->columns;
  }
  if (fk.ref_columns.size() != fk.columns.size())
    raise(8139, 16, "Number of referencing columns in foreign key differs from number of referenced columns, table '" + t.name + "'.");
  for (const auto& c : fk.columns) {
    if (t.column_index(c) < 0) raise(1769, 16, "Foreign key '" + fk.name + "' references invalid column '" + c + "' in referencing table '" + t.name + "'.");
  }
  if (!parent->unique_index_on(fk.ref_columns))
    raise(1776, 16, "There are no primary or candidate keys in the referenced table '" + parent->owner + "." + parent->name +
                        "' that match the referencing column list in the foreign key '" + fk.name + "'.");
  if (object_named(db, t.owner, fk.name)) object_exists(fk.name, 5);
  t.foreign_keys.push_back(std::move(fk));
}

void batch::table_constraint(table& t, std::string name, std::vector<std::function<void(table&)>>& later) {
  if (kw("PRIMARY") || is_kw(peek(), "UNIQUE")) {
    const bool primary = !kw("UNIQUE") && (expect_kw("KEY"), true);
    bool clustered = primary;
    if (kw("CLUSTERED")) clustered = true;
    else if (kw("NONCLUSTERED")) clustered = false;
    index_def ix;
    ix.columns = column_list(true);
    ix.unique = true;
    ix.primary = primary;
    ix.clustered = clustered;
    ix.constraint = true;
    ix.name = name;
    later.push_back([ix](table& tb) mutable {
      if (ix.name.empty()) ix.name = std::string(ix.primary ? "PK__" : "UQ__") + tb.name.substr(0, 8) + "__" + hex8(tb.object_id * 7919 + static_cast<int>(tb.indexes.size()));
      tb.indexes.push_back(ix);
    });
    (void)t;
    return;
  }
  if (kw("FOREIGN")) {
    expect_kw("KEY");
    auto cols = column_list(false);
    expect_kw("REFERENCES");
    foreign_key fk = references(cols);
    fk.name = name;
    later.push_back([fk](table& tb) mutable {
      if (fk.name.empty()) fk.name = "FK__" + tb.name.substr(0, 8) + "__" + hex8(tb.object_id * 31 + static_cast<int>(tb.foreign_keys.size()));
      tb.foreign_keys.push_back(fk);
    });
    return;
  }
  if (kw("CHECK")) {
    check_def ck = check_clause();
    ck.name = name;
    later.push_back([ck](table& tb) mutable {
      if (ck.name.empty()) ck.name = "CK__" + tb.name.substr(0, 9) + "__" + hex8(tb.object_id * 131 + static_cast<int>(tb.checks.size()));
      tb.checks.push_back(ck);
    });
    return;
  }
  fail();
}

// "CHECK" read: "(condition)", kept as written with the names it uses (those
// that are columns of the table are sorted out when the table is made).
check_def batch::check_clause() {
  check_def ck;
  expect_sym("(");
  const std::size_t start = t_[p_ - 1].pos;
  int depth = 1;
  while (depth > 0) {
    if (peek().kind == tk::end) fail();
    if (peek().kind == tk::ident || peek().kind == tk::quoted) ck.columns.push_back(peek().text);
    if (sym("(")) ++depth;
    else if (sym(")")) --depth;
    else next();
  }
  ck.text = std::string(sql_.substr(start, t_[p_ - 1].end - start));
  return ck;
}

// The names of a CHECK that are columns of the table.
void settle_check(check_def& ck, const table& t) {
  std::vector<std::string> cols;
  for (const auto& n : ck.columns) {
    const int i = t.column_index(n);
    if (i >= 0 && !uses(cols, n)) cols.push_back(t.columns[static_cast<std::size_t>(i)].name);
  }
  ck.columns = std::move(cols);
}

void batch::column_definition(table& t, std::vector<std::function<void(table&)>>& later) {
  column_def c;
  c.name = identifier();
  c.type = parse_type();
  for (;;) {
    std::string cname;
    if (kw("CONSTRAINT")) cname = identifier();
    if (kw("IDENTITY")) {
      c.identity = true;
      c.nullable = false;
      if (sym("(")) {
        auto signed_int = [&] {
          const bool neg = sym("-");
          if (peek().kind != tk::integer) fail();
          const int64_t v = std::stoll(next().text);
          return neg ? -v : v;
        };
        c.seed = signed_int();
        expect_sym(",");
        c.increment = signed_int();
        expect_sym(")");
      }
      const sql_type tt = c.type.type;
      if (!(tt == sql_type::tinyint || tt == sql_type::smallint || tt == sql_type::int_ || tt == sql_type::bigint ||
            ((tt == sql_type::decimal || tt == sql_type::numeric) && c.type.scale == 0)))
        raise(2749, 16, "Identity column '" + c.name + "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
    } else if (kw("NOT")) {
      expect_kw("NULL");
      c.nullable = false;
    } else if (kw("NULL")) {
      c.nullable = true;
    } else if (kw("DEFAULT")) {
      auto e = expression();
      std::string text = e->text;
      c.default_text = text.size() >= 2 && text.front() == '(' && text.back() == ')' ? text : "(" + text + ")";
      c.default_value = eval(*e);
      c.default_name = cname;
    } else if (kw("CHECK")) {
      check_def ck = check_clause();
      ck.name = cname;
      ck.columns.push_back(c.name);
      later.push_back([ck, column = c.name](table& tb) mutable {
        if (ck.name.empty())
          ck.name = "CK__" + tb.name.substr(0, 9) + "__" + column.substr(0, 5) + "__" + hex8(tb.object_id * 131 + static_cast<int>(tb.checks.size()));
        tb.checks.push_back(ck);
      });
    } else if (kw("COLLATE")) {
      c.collate = collation_named(identifier());
    } else if (kw("PRIMARY") || is_kw(peek(), "UNIQUE")) {
      const bool primary = !kw("UNIQUE") && (expect_kw("KEY"), true);
      bool clustered = primary;
      if (kw("CLUSTERED")) clustered = true;
      else if (kw("NONCLUSTERED")) clustered = false;
      index_def ix;
      ix.columns = {c.name};
      ix.unique = true;
      ix.primary = primary;
      ix.clustered = clustered;
      ix.constraint = true;
      ix.name = cname;
      if (primary) c.nullable = false;
      later.push_back([ix](table& tb) mutable {
        if (ix.name.empty()) ix.name = std::string(ix.primary ? "PK__" : "UQ__") + tb.name.substr(0, 8) + "__" + hex8(tb.object_id * 7919 + static_cast<int>(tb.indexes.size()));
        tb.indexes.push_back(ix);
      });
    } else if (kw("REFERENCES")) {
      foreign_key fk = references({c.name});
      fk.name = cname;
      later.push_back([fk](table& tb) mutable {
        if (fk.name.empty()) fk.name = "FK__" + tb.name.substr(0, 8) + "__" + hex8(tb.object_id * 31 + static_cast<int>(tb.foreign_keys.size()));
        tb.foreign_keys.push_back(fk);
      });
    } else if (!cname.empty()) {
      fail();
    } else {
      break;
    }
  }
  if (c.default_text) {
    try {
      convert(c.default_value, c.type, s_.conversion());
    } catch (const sql_error&) {
      // SQL Server checks a default only when it is used.
    }
  }
  if (t.column_index(c.name) >= 0)
    raise(2705, 16, "Column names in each table must be unique. Column name '" + c.name + "' in table '" + t.name + "' is specified more than once.");
  t.columns.push_back(std::move(c));
}

step batch::create_statement() {
  next();  // CREATE
  if (kw("DATABASE")) {
    const std::string name = identifier();
    std::optional<uint16_t> collate;
    while (peek().kind != tk::end && !(peek().kind == tk::sym && peek().text == ";") && !is_reserved(peek())) {
      if (kw("COLLATE")) collate = collation_named(identifier());
      else next();
    }
    return [this, name, collate] {
      auto lock = ctx_.cat.lock();
      if (s_.tran.count > 0) raise(226, 16, "CREATE DATABASE statement not allowed within multi-statement transaction.");
      check_create_database(ctx_, s_);
      database& db = ctx_.cat.create(name);
      db.owner_login = s_.user;
      db.collation = collate.value_or(default_collation);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (is_kw(peek(), "LOGIN") || is_kw(peek(), "USER") || is_kw(peek(), "SCHEMA")) return create_principal();
  if (kw("TABLE")) {
    name_parts n = object_name();
    auto t = std::make_shared<table>();
    t->name = n.name;
    std::vector<std::function<void(table&)>> later;
    expect_sym("(");
    do {
      if (kw("CONSTRAINT")) {
        std::string cname = identifier();
        table_constraint(*t, cname, later);
      } else if (is_kw(peek(), "PRIMARY") || is_kw(peek(), "UNIQUE") || is_kw(peek(), "FOREIGN") || is_kw(peek(), "CHECK")) {
        table_constraint(*t, "", later);
      } else {
        column_definition(*t, later);
      }
    } while (sym(","));
    expect_sym(")");
    if (kw("ON")) identifier();
    return [this, n, t, later] {
      auto lock = ctx_.cat.lock();
      database& db = db_of(n);
      try {
        t->owner = owner_for_new(ctx_, s_, db, n.owner);
      } catch (const sql_error&) {
        check_create_table(ctx_, s_, db, "");  // no permission goes first
        throw;
      }
      check_create_table(ctx_, s_, db, t->owner);
      if (wait_while(ctx_, s_, lock, [&, name = lock_name(db.name, t->owner, t->name)] { return ctx_.locks.blocks_schema(name, s_.spid); }))
        throw statement_retry{};
      if (object_named(db, t->owner, t->name)) object_exists(t->name, 6);
      if (t->columns.size() > max_columns) too_many_columns(t->columns[max_columns].name, t->name);
      check_row_size(*t);
      auto fresh = std::make_unique<table>(*t);
      for (auto& c : fresh->columns) settle_collation(c, db.collation);
      fresh->object_id = ctx_.cat.next_object_id();
      std::vector<index_def> keys;
      std::vector<foreign_key> fks;
      table scratch = *fresh;
      for (const auto& f : later) f(scratch);
      creating_constraints(out_, [&] {
        for (auto ix : scratch.indexes) add_index(db, *fresh, std::move(ix), n.written);
        for (auto ck : scratch.checks) {
          settle_check(ck, *fresh);
          fresh->checks.push_back(std::move(ck));
        }
        name_defaults_and_checks(db, *fresh);
      });
      const std::string key = name_key(fresh->owner + "." + fresh->name);
      table* raw = fresh.get();
      db.tables[key] = std::move(fresh);
      try {
        creating_constraints(out_, [&] {
          for (auto fk : scratch.foreign_keys) {
            resolve_reference(db, fk);
            add_foreign_key(ctx_, db, *raw, std::move(fk));
          }
        });
      } catch (...) {
        db.tables.erase(key);
        throw;
      }
      if (s_.tran.count > 0) log_schema(ctx_, s_, db, raw->owner, raw->name, nullptr);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  bool unique = kw("UNIQUE");
  bool clustered = kw("CLUSTERED");
  if (!clustered) kw("NONCLUSTERED");
  if (kw("INDEX")) {
    index_def ix;
    ix.name = identifier();
    expect_kw("ON");
    name_parts n = object_name();
    ix.columns = column_list(true);
    ix.unique = unique;
    ix.clustered = clustered;
    if (kw("INCLUDE")) column_list(false);
    if (kw("WHERE")) {
      // A filtered index: its condition is kept as written, not evaluated.
      const std::size_t start = peek().pos;
      int depth = 0;
      while (peek().kind != tk::end && !(peek().kind == tk::sym && peek().text == ";")) {
        if (depth == 0 && (is_kw(peek(), "WITH") || (is_reserved(peek()) && !is_kw(peek(), "AND") && !is_kw(peek(), "OR")))) break;
        if (peek().kind == tk::sym && peek().text == "(") ++depth;
        if (peek().kind == tk::sym && peek().text == ")" && --depth < 0) fail();
        next();
      }
      if (peek().pos == start) fail();
      ix.filter = std::string(sql_.substr(start, t_[p_ - 1].end - start));
    }
    if (kw("WITH")) { expect_sym("("); while (!sym(")")) { if (peek().kind == tk::end) fail(); next(); } }
    if (kw("ON")) identifier();
    return [this, n, ix] {
      auto lock = ctx_.cat.lock();
      table& t = changed_table(n, table_change::index);
      if (!ix.filter.empty()) check_set_options(s_, t, "CREATE INDEX", true);
      schema_change(lock, db_of(n), t);
      add_index(db_of(n), t, ix, n.written);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  fail();
}

// CREATE LOGIN, CREATE USER, CREATE SCHEMA (none of them on SQL Server 2000).
step batch::create_principal() {
  const std::string what = name_key(peek().text);
  const bool first = p_ == 1;  // CREATE was the batch's first token
  if (owners_are_users(ctx_)) raise(156, 15, "Incorrect syntax near the keyword '" + peek().raw + "'.");
  next();
  const std::string name = identifier();
  if (what == "LOGIN") {
    expect_kw("WITH");
    expect_kw("PASSWORD");
    expect_sym("=");
    if (peek().kind != tk::str && peek().kind != tk::nstr) fail();
    const std::string password = next().text;
    // DEFAULT_LANGUAGE is kept; further options (CHECK_POLICY = OFF, DEFAULT_DATABASE = ...) are accepted and ignored.
    std::string lang = "us_english";
    while (sym(",")) {
      const bool language_option = is_kw(peek(), "DEFAULT_LANGUAGE");
      identifier();
      expect_sym("=");
      const std::string v = next().text;
      if (language_option) lang = v;
    }
    return [this, name, password, lang] {
      auto lock = ctx_.cat.lock();
      create_login(ctx_.cat, s_, name, password, lang);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (what == "USER") {
    std::optional<std::string> login, schema;
    if (kw("FOR") || kw("FROM")) {
      expect_kw("LOGIN");
      login = identifier();
    }
    if (kw("WITH")) {
      expect_kw("DEFAULT_SCHEMA");
      expect_sym("=");
      schema = identifier();
    }
    return [this, name, login, schema] {
      auto lock = ctx_.cat.lock();
      database* db = ctx_.cat.find(s_.database);
      if (db) create_user(ctx_.cat, *db, name, login, schema);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (!first) raise(111, 15, "'CREATE SCHEMA' must be the first statement in a query batch.");
  std::optional<std::string> authorization;
  if (kw("AUTHORIZATION")) authorization = identifier();
  return [this, name, authorization] {
    auto lock = ctx_.cat.lock();
    database* db = ctx_.cat.find(s_.database);
    if (db) create_schema(*db, name, authorization);
    out_.done(0, 0, 0xFD, cmd_other);
  };
}

step batch::drop_statement() {
  next();  // DROP
  if (kw("DATABASE")) {
    const std::string name = identifier();
    return [this, name] {
      auto lock = ctx_.cat.lock();
      if (s_.tran.count > 0) raise(226, 16, "DROP DATABASE statement not allowed within multi-statement transaction.");
      if (const database* db = ctx_.cat.find(name)) check_drop_database(ctx_, s_, *db, name);
      for (const auto& [spid, db] : ctx_.session_dbs) {
        if (db == name_key(name) && spid != s_.spid)
          raise(3702, 16, "Cannot drop database \"" + name + "\" because it is currently in use.");
      }
      if (name_key(s_.database) == name_key(name))
        raise(3702, 16, "Cannot drop database \"" + name + "\" because it is currently in use.");
      ctx_.cat.drop(name);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("TABLE")) {
    bool if_exists = false;
    if (kw("IF")) { expect_kw("EXISTS"); if_exists = true; }
    std::vector<name_parts> names;
    do names.push_back(object_name()); while (sym(","));
    return [this, names, if_exists] {
      auto lock = ctx_.cat.lock();
      for (const auto& n : names) {
        database* db = ctx_.cat.find(n.database.empty() ? s_.database : n.database);
        if (table* t = db ? find_table(n) : nullptr) await(lock, *db, *t, lock_kind::schema);
      }
      for (const auto& n : names) {
        database* db = ctx_.cat.find(n.database.empty() ? s_.database : n.database);
        table* t = find_table(n);
        if (!t) {
          if (if_exists) continue;
          raise(3701, 11, "Cannot drop the table '" + n.written + "', because it does not exist or you do not have permission.");
        }
        check_table_change(ctx_, s_, *db, *t, n.written, table_change::drop);
        for (auto& [k, other] : db->tables) {
          if (other.get() == t) continue;
          for (const auto& fk : other->foreign_keys) {
            if (name_key(fk.ref_table) == name_key(t->name) && name_key(fk.ref_owner) == name_key(t->owner))
              raise(3726, 16, "Could not drop object '" + n.written + "' because it is referenced by a FOREIGN KEY constraint.");
          }
        }
        if (s_.identity_insert == table_key(n)) s_.identity_insert.reset();
        if (s_.tran.count > 0) log_schema(ctx_, s_, *db, t->owner, t->name, t);
        db->tables.erase(name_key(t->owner + "." + t->name));
      }
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("INDEX")) {
    name_parts n = object_name();  // table.index
    std::string index = n.name;
    name_parts tn;
    if (kw("ON")) {
      tn = object_name();
    } else {
      tn.name = n.owner;
      tn.owner = n.database;
      tn.written = tn.name;
    }
    return [this, tn, index] {
      auto lock = ctx_.cat.lock();
      table& t = table_of(tn);
      try {
        check_table_change(ctx_, s_, db_of(tn), t, tn.written, table_change::index);
      } catch (const sql_error&) {
        raise(3701, 11, "Cannot drop the index '" + tn.written + "." + index + "', because it does not exist or you do not have permission.");
      }
      schema_change(lock, db_of(tn), t);
      auto it = std::find_if(t.indexes.begin(), t.indexes.end(), [&](const index_def& ix) { return name_key(ix.name) == name_key(index); });
      if (it == t.indexes.end())
        raise(3701, 11, "Cannot drop the index '" + tn.written + "." + index + "', because it does not exist or you do not have permission.");
      t.indexes.erase(it);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  fail();
}

// The major version the @@VERSION text presents ("... - 15.0.2000.5 ...").
int major_version(const std::string& text) {
  const auto dash = text.find(" - ");
  int major = 0;
  if (dash != std::string::npos) {
    for (std::size_t i = dash + 3; i < text.size() && text[i] >= '0' && text[i] <= '9' && major < 1000; ++i)
      major = major * 10 + (text[i] - '0');
  }
  return major;
}

// A value for column i of a row written by INSERT or UPDATE. A value too long
// for the column is reported as the server's version reports it: 2628 with the
// table, the column and the value cut to the column's size from SQL Server 2019
// (15.x) on, 8152 before.
cell column_value(server_context& ctx, const session_state& s, const database& db, const table& t, std::size_t i,
                  const value& v) {
  const column_def& c = t.columns[i];
  try {
    return convert(v, c.type, s.conversion());
  } catch (const sql_error& e) {
    if (e.number != 8152 || major_version(ctx.version()) < 15) throw;
    const value cut = cut_to_size(v, c.type);
    raise(2628, 16, "String or binary data would be truncated in table '" + db.name + "." + t.owner + "." + t.name +
                        "', column '" + c.name + "'. Truncated value: '" + render(cut.type, cut.data) + "'.");
  }
}

// Checks NOT NULL and foreign keys of a new row.
void check_row(server_context& ctx, database& db, const table& t, const std::vector<cell>& cells, const char* stmt) {
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (cells[i].null && !t.columns[i].nullable)
      raise(515, 16, "Cannot insert the value NULL into column '" + t.columns[i].name + "', table '" + db.name + "." +
                         t.owner + "." + t.name + "'; column does not allow nulls. " + stmt + " fails.");
  }
  (void)ctx;
  for (const auto& fk : t.foreign_keys) {
    std::vector<cell> key;
    bool any_null = false;
    for (const auto& c : fk.columns) {
      key.push_back(cells[static_cast<std::size_t>(t.column_index(c))]);
      any_null = any_null || key.back().null;
    }
    if (any_null) continue;
    table* parent = db.find(fk.ref_owner, fk.ref_table);
    bool found = false;
    const index_def* ix = parent ? parent->unique_index_on(fk.ref_columns) : nullptr;
    if (ix) {
      std::vector<cell> probe(parent->columns.size());
      for (std::size_t i = 0; i < fk.ref_columns.size(); ++i) {
        const int pi = parent->column_index(fk.ref_columns[i]);
        value v = value::of_typed(t.columns[static_cast<std::size_t>(t.column_index(fk.columns[i]))].type, key[i]);
        probe[static_cast<std::size_t>(pi)] = convert(v, parent->columns[static_cast<std::size_t>(pi)].type);
      }
      found = ix->keys.count(parent->index_key(*ix, probe)) > 0;
    }
    if (!found) {
      raise(547, 16, std::string("The ") + stmt + " statement conflicted with the FOREIGN KEY constraint \"" + fk.name +
                         "\". The conflict occurred in database \"" + db.name + "\", table \"" + fk.ref_owner + "." +
                         fk.ref_table + "\", column '" + fk.ref_columns[0] + "'.");
    }
  }
}

step batch::insert_statement() {
  next();  // INSERT
  kw("INTO");
  name_parts n = object_name();
  std::optional<std::vector<std::string>> cols;
  if (peek().kind == tk::sym && peek().text == "(") cols = column_list(false);
  std::vector<std::vector<expr_ptr>> rows;
  bool defaults = false;
  if (kw("DEFAULT")) {
    expect_kw("VALUES");
    defaults = true;
    rows.emplace_back();
  } else {
    expect_kw("VALUES");
    do {
      expect_sym("(");
      std::vector<expr_ptr> r;
      do {
        if (is_kw(peek(), "DEFAULT")) { next(); auto e = std::make_shared<expr>(); e->kind = expr::function; e->name = "DEFAULT"; r.push_back(e); }
        else r.push_back(expression());
      } while (sym(","));
      expect_sym(")");
      rows.push_back(std::move(r));
      // Row value constructors (several rows after VALUES) came with SQL Server 2008.
      if (peek().kind == tk::sym && peek().text == "," && ctx_.major_version() > 0 && ctx_.major_version() < 10)
        raise(102, 15, "Incorrect syntax near ','.");
    } while (sym(","));
    if (rows.size() > 1000)
      raise(10738, 15, "The number of row value expressions in the INSERT statement exceeds the maximum allowed number of 1000 row values.");
  }
  return [this, n, cols, rows, defaults] {
    if (s_.fmtonly) return;
    auto lock = ctx_.cat.lock();
    database& db = db_of(n);
    table& t = table_of(n);
    check_set_options(s_, t, "INSERT");
    await(lock, db, t, lock_kind::write);
    const int ident = t.identity_column();
    const bool identity_on = s_.identity_insert == table_key(n);
    std::vector<int> targets;
    if (cols) {
      for (const auto& c : *cols) {
        const int i = t.column_index(c);
        if (i < 0) raise(207, 16, "Invalid column name '" + c + "'.");
        targets.push_back(i);
      }
    } else if (!defaults) {
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (static_cast<int>(i) != ident || identity_on) targets.push_back(static_cast<int>(i));
      }
      if (identity_on && ident >= 0)
        raise(8101, 16, "An explicit value for the identity column in table '" + n.written + "' can only be specified when a column list is used and IDENTITY_INSERT is ON.");
    }
    const bool explicit_identity = std::find(targets.begin(), targets.end(), ident) != targets.end() && ident >= 0;
    if (explicit_identity && !identity_on)
      raise(544, 16, "Cannot insert explicit value for identity column in table '" + t.name + "' when IDENTITY_INSERT is set to OFF.");
    std::vector<std::vector<cell>> built;
    int64_t identity_last = t.identity_last;
    bool identity_used = t.identity_used;
    std::optional<int64_t> last_identity;
    for (const auto& r : rows) {
      if (r.size() != targets.size()) {
        if (cols && r.size() < targets.size())
          raise(109, 15, "There are more columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement.");
        if (cols) raise(110, 15, "There are fewer columns in the INSERT statement than values specified in the VALUES clause. The number of values in the VALUES clause must match the number of columns specified in the INSERT statement.");
        raise(213, 16, "Column name or number of supplied values does not match table definition.");
      }
      std::vector<cell> cells(t.columns.size());
      std::vector<bool> given(t.columns.size(), false);
      for (std::size_t k = 0; k < targets.size(); ++k) {
        const auto i = static_cast<std::size_t>(targets[k]);
        given[i] = true;
        if (r[k]->kind == expr::function && r[k]->name == "DEFAULT") {
          given[i] = false;
          continue;
        }
        cells[i] = column_value(ctx_, s_, db, t, i, eval(*r[k]));
      }
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (given[i]) continue;
        const auto& c = t.columns[i];
        if (c.identity) {
          identity_last = identity_used ? identity_last + c.increment : c.seed;
          identity_used = true;
          value v; v.kind = value::integer; v.text = std::to_string(identity_last);
          cells[i] = convert(v, c.type, s_.conversion());
          last_identity = identity_last;
        } else if (c.default_text) {
          cells[i] = convert(c.default_value, c.type, s_.conversion());
        }
      }
      if (explicit_identity) {
        const auto& c = t.columns[static_cast<std::size_t>(ident)];
        const cell& v = cells[static_cast<std::size_t>(ident)];
        if (!v.null) {
          const int64_t x = std::stoll(render(c.type, v));
          if (!identity_used || (c.increment > 0 ? x > identity_last : x < identity_last)) identity_last = x;
          identity_used = true;
        }
      }
      check_row(ctx_, db, t, cells, "INSERT");
      built.push_back(std::move(cells));
    }
    await_keys(lock, db, t, built);
    std::vector<row> written;
    if (s_.tran.count > 0) {
      for (const auto& cells : built) written.emplace_back(cells);
    }
    t.add_rows(std::move(built));
    if (s_.tran.count > 0) log_rows(ctx_, s_, db, t, undo_step::inserted, {}, std::move(written));
    t.identity_last = identity_last;
    t.identity_used = identity_used;
    if (last_identity) s_.last_identity = last_identity;
    out_.done(0x10, rows.size(), 0xFD, cmd_insert);
  };
}

step batch::update_statement() {
  next();  // UPDATE
  name_parts n = object_name();
  expect_kw("SET");
  std::vector<std::pair<std::string, expr_ptr>> sets;
  do {
    std::string col = identifier();
    expect_sym("=");
    sets.emplace_back(col, expression());
  } while (sym(","));
  conditions where = where_clause();
  return [this, n, sets, where] {
    if (s_.fmtonly) return;
    auto lock = ctx_.cat.lock();
    database& db = db_of(n);
    table& t = table_of(n);
    check_set_options(s_, t, "UPDATE");
    await(lock, db, t, lock_kind::scan);
    const auto conds = resolve(t, where);
    std::vector<int> targets;
    for (const auto& [col, e] : sets) {
      const int i = t.column_index(col);
      if (i < 0) raise(207, 16, "Invalid column name '" + col + "'.");
      if (t.columns[static_cast<std::size_t>(i)].identity) raise(8102, 16, "Cannot update identity column '" + col + "'.");
      targets.push_back(i);
    }
    std::vector<row> saved = t.rows;
    std::vector<row> before, after;  // for ROLLBACK
    long count = 0;
    try {
      for (auto& r : t.rows) {
        std::vector<cell> cells = r.cells();
        if (!matches(t, conds, cells)) continue;
        std::vector<cell> updated = cells;
        for (std::size_t k = 0; k < targets.size(); ++k) {
          const auto i = static_cast<std::size_t>(targets[k]);
          updated[i] = column_value(ctx_, s_, db, t, i, eval(*sets[k].second, &t, &cells));
        }
        check_row(ctx_, db, t, updated, "UPDATE");
        if (s_.tran.count > 0) {
          before.push_back(r);
          after.emplace_back(updated);
        }
        r = row(updated);
        ++count;
      }
      t.rebuild_keys();
    } catch (...) {
      t.rows = std::move(saved);
      t.rebuild_keys();
      throw;
    }
    if (s_.tran.count > 0) log_rows(ctx_, s_, db, t, undo_step::updated, std::move(before), std::move(after));
    out_.done(0x10, static_cast<uint64_t>(count), 0xFD, cmd_update);
  };
}

batch::conditions batch::where_clause() {
  conditions where;
  if (!kw("WHERE")) return where;
  do {
    std::string col = identifier();
    while (sym(".")) col = identifier();
    if (kw("IS")) {
      expect_kw("NULL");
      where.emplace_back(col, nullptr);
      continue;
    }
    expect_sym("=");
    where.emplace_back(col, expression());
  } while (kw("AND"));
  return where;
}

// The conditions with their values converted to the columns' types; IS NULL as -1 - column.
std::vector<std::pair<int, cell>> batch::resolve(const table& t, const conditions& where) {
  std::vector<std::pair<int, cell>> conds;
  for (const auto& [col, e] : where) {
    const int i = t.column_index(col);
    if (i < 0) raise(207, 16, "Invalid column name '" + col + "'.");
    if (!e) { conds.emplace_back(-1 - i, cell{}); continue; }
    conds.emplace_back(i, convert(eval(*e), t.columns[static_cast<std::size_t>(i)].type, s_.conversion()));
  }
  return conds;
}

// Equality as the collation compares (case and trailing blanks ignored); NULL equals nothing.
bool batch::matches(const table& t, const std::vector<std::pair<int, cell>>& conds, const std::vector<cell>& cells) {
  for (const auto& [i, want] : conds) {
    if (i < 0) {
      if (!cells[static_cast<std::size_t>(-1 - i)].null) return false;
      continue;
    }
    const cell& have = cells[static_cast<std::size_t>(i)];
    if (have.null || want.null) return false;
    index_def one;
    one.columns = {t.columns[static_cast<std::size_t>(i)].name};
    std::vector<cell> probe = cells;
    probe[static_cast<std::size_t>(i)] = want;
    if (t.index_key(one, cells) != t.index_key(one, probe)) return false;
  }
  return true;
}

step batch::delete_statement() {
  const bool truncate = is_kw(next(), "TRUNCATE");
  if (truncate) expect_kw("TABLE");
  else kw("FROM");
  name_parts n = object_name();
  conditions where = truncate ? conditions{} : where_clause();
  return [this, n, where, truncate] {
    if (s_.fmtonly) return;
    auto lock = ctx_.cat.lock();
    table& t = truncate ? changed_table(n, table_change::truncate) : table_of(n);
    if (!truncate) check_set_options(s_, t, "DELETE");
    if (truncate) schema_change(lock, db_of(n), t);
    else await(lock, db_of(n), t, lock_kind::scan);
    const auto conds = resolve(t, where);
    std::vector<row> kept, gone;
    long count = 0;
    for (const auto& r : t.rows) {
      if (matches(t, conds, r.cells())) {
        ++count;
        if (s_.tran.count > 0 && !truncate) gone.push_back(r);
      } else {
        kept.push_back(r);
      }
    }
    t.rows = std::move(kept);
    if (!gone.empty()) log_rows(ctx_, s_, db_of(n), t, undo_step::deleted, std::move(gone), {});
    if (truncate) t.identity_used = false;
    t.rebuild_keys();
    if (truncate) out_.done(0, 0, 0xFD, cmd_other);
    else out_.done(0x10, static_cast<uint64_t>(count), 0xFD, 0xC4);
  };
}


// The objects that keep ALTER COLUMN from changing column c to `to`, as SQL
// Server rules: a primary or foreign key (either side) on the column always;
// an index or unique constraint unless the column stays varchar, nvarchar or
// varbinary of a size no smaller and not (max). Each is reported (5074), then
// the statement fails (4922). `written` is the column as the statement names it.
void batch::alterable(database& db, const table& t, const column_def& c, const std::string& written, const column_type& to) {
  const sql_type from = c.type.type;
  const bool variable_length = from == sql_type::varchar || from == sql_type::nvarchar || from == sql_type::varbinary;
  const bool widening = to.type == from && to.length >= c.type.length && c.type.length >= 0 && variable_length;
  // A new collation is refused by the indexes, keys and CHECK constraints on the column.
  const bool collation_changes = (is_char(from) || is_unicode(from)) && (is_char(to.type) || is_unicode(to.type)) &&
                                 to.collation != c.type.collation;
  std::vector<std::pair<std::string, bool>> objects;  // name, whether an index (not a constraint)
  for (const auto& ix : t.indexes) {
    if (uses(ix.columns, c.name) && (ix.primary || !widening || collation_changes)) objects.emplace_back(ix.name, !ix.constraint);
  }
  for (const auto& fk : t.foreign_keys) {
    if (uses(fk.columns, c.name)) objects.emplace_back(fk.name, false);
  }
  for (auto& [k, other] : db.tables) {
    for (const auto& fk : other->foreign_keys) {
      if (name_key(fk.ref_table) == name_key(t.name) && name_key(fk.ref_owner) == name_key(t.owner) &&
          uses(fk.ref_columns, c.name))
        objects.emplace_back(fk.name, false);
    }
  }
  // A DEFAULT lets the length, precision or scale change, not the data type; a
  // CHECK only the length of a variable-length type (to max too).
  if (c.default_text && to.type != from) objects.emplace_back(c.default_name, false);
  const bool same_but_length = to.type == from && (variable_length || (to.length == c.type.length && to.precision == c.type.precision &&
                                                                        to.scale == c.type.scale));
  for (const auto& ck : t.checks) {
    if (uses(ck.columns, c.name) && (!same_but_length || collation_changes)) objects.emplace_back(ck.name, false);
  }
  if (objects.empty()) return;
  for (const auto& [name, index] : objects) {
    out_.message(sql_error{5074, 16, 1, std::string(index ? "The index '" : "The object '") + name +
                                            "' is dependent on column '" + written + "'."},
                 false);
  }
  raise(4922, 16, "ALTER TABLE ALTER COLUMN " + written + " failed because one or more objects access this column.", 9);
}

// GRANT | REVOKE | DENY permission [, ...] [ON [SCHEMA::]name] TO | FROM principal [, ...]
step batch::grant_statement() {
  const grant_kind kind = is_kw(peek(), "GRANT") ? grant_kind::grant : is_kw(peek(), "DENY") ? grant_kind::deny : grant_kind::revoke;
  next();
  std::vector<std::string> permissions;
  std::string schema;
  auto stop = [&] { return is_kw(peek(), "ON") || is_kw(peek(), "TO") || is_kw(peek(), "FROM"); };
  do {
    std::string perm;
    while (peek().kind == tk::ident && !stop()) perm += (perm.empty() ? "" : " ") + name_key(next().text);
    if (perm.empty()) fail();
    permissions.push_back(perm);
  } while (sym(","));
  if (kw("ON")) {
    if (is_kw(peek(), "SCHEMA") && peek(1).kind == tk::sym && peek(1).text == ":") {
      next();
      expect_sym(":");
      expect_sym(":");
    }
    schema = identifier();
  }
  if (!kw("TO") && !(kind == grant_kind::revoke && kw("FROM"))) fail();
  std::vector<std::string> principals;
  do principals.push_back(identifier()); while (sym(","));
  if (kw("WITH")) { expect_kw("GRANT"); expect_kw("OPTION"); }
  kw("CASCADE");
  return [this, kind, permissions, schema, principals] {
    auto lock = ctx_.cat.lock();
    database* db = ctx_.cat.find(s_.database);
    if (db) grant(ctx_, s_, *db, kind, permissions, schema, principals);
    out_.done(0, 0, 0xFD, cmd_other);
  };
}

step batch::alter_statement() {
  next();  // ALTER
  // ALTER ROLE r ADD MEMBER u, ALTER SERVER ROLE r ADD MEMBER l (SQL Server 2012 on).
  const bool server_role = is_kw(peek(), "SERVER") && is_kw(peek(1), "ROLE");
  if ((server_role || is_kw(peek(), "ROLE")) && major_version(ctx_.version()) >= 11) {
    if (server_role) next();
    next();
    const std::string role = identifier();
    expect_kw("ADD");
    expect_kw("MEMBER");
    const std::string member = identifier();
    return [this, server_role, role, member] {
      auto lock = ctx_.cat.lock();
      if (server_role) {
        add_server_role_member(ctx_, s_, role, member, false);
      } else if (database* db = ctx_.cat.find(s_.database)) {
        add_role_member(ctx_, s_, *db, role, member, false);
      }
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("LOGIN")) {
    // ALTER LOGIN [l] WITH DEFAULT_LANGUAGE = x (other options are not modelled).
    const std::string name = identifier();
    expect_kw("WITH");
    expect_kw("DEFAULT_LANGUAGE");
    expect_sym("=");
    if (peek().kind != tk::ident && peek().kind != tk::quoted && peek().kind != tk::str && peek().kind != tk::nstr) fail();
    const std::string lang = next().text;
    return [this, name, lang] {
      auto lock = ctx_.cat.lock();
      set_login_language(ctx_.cat, s_, name, lang);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  expect_kw("TABLE");
  name_parts n = object_name();
  if (kw("ALTER")) {
    expect_kw("COLUMN");
    const std::string col = identifier();
    const column_type written_type = parse_type();
    std::optional<bool> nullable;
    std::optional<uint16_t> collate;
    if (kw("COLLATE")) collate = collation_named(identifier());
    if (kw("NOT")) { expect_kw("NULL"); nullable = false; }
    else if (kw("NULL")) nullable = true;
    return [this, n, col, written_type, nullable, collate] {
      auto lock = ctx_.cat.lock();
      table& t = changed_table(n, table_change::alter);
      schema_change(lock, db_of(n), t);
      const int i = t.column_index(col);
      if (i < 0) raise(4924, 16, "ALTER TABLE ALTER COLUMN failed because column '" + col + "' does not exist in table '" + t.name + "'.");
      auto& c = t.columns[static_cast<std::size_t>(i)];
      // Without COLLATE the column takes the database's collation.
      column_def shape;
      shape.type = written_type;
      shape.collate = collate;
      settle_collation(shape, db_of(n).collation);
      const column_type type = shape.type;
      alterable(db_of(n), t, c, col, type);
      {
        table changed = definition_of(t);
        changed.columns[static_cast<std::size_t>(i)].type = type;
        check_row_size(changed);
      }
      std::vector<row> converted;
      converted.reserve(t.rows.size());
      for (const auto& r : t.rows) {
        auto cells = r.cells();
        cells[static_cast<std::size_t>(i)] = convert(value::of_typed(c.type, cells[static_cast<std::size_t>(i)]), type, s_.conversion());
        if (nullable == false && cells[static_cast<std::size_t>(i)].null)
          raise(515, 16, "Cannot insert the value NULL into column '" + c.name + "', table '" + s_.database + "." + t.owner + "." + t.name + "'; column does not allow nulls. UPDATE fails.");
        converted.emplace_back(cells);
      }
      t.rows = std::move(converted);
      c.type = type;
      c.nullable = nullable.value_or(true) && !c.identity;
      t.rebuild_keys();
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("ADD")) {
    if (is_kw(peek(), "CONSTRAINT") || is_kw(peek(), "PRIMARY") || is_kw(peek(), "UNIQUE") || is_kw(peek(), "FOREIGN") ||
        is_kw(peek(), "CHECK") || is_kw(peek(), "DEFAULT")) {
      std::string cname;
      if (kw("CONSTRAINT")) cname = identifier();
      if (kw("DEFAULT")) {
        // ADD [CONSTRAINT n] DEFAULT value FOR column: for rows to come.
        auto e = expression();
        expect_kw("FOR");
        const std::string column = identifier();
        const std::string text = e->text.size() >= 2 && e->text.front() == '(' && e->text.back() == ')' ? e->text : "(" + e->text + ")";
        const value v = eval(*e);
        return [this, n, cname, column, text, v] {
          auto lock = ctx_.cat.lock();
          database& db = db_of(n);
          table& t = changed_table(n, table_change::alter);
          schema_change(lock, db, t);
          creating_constraints(out_, [&] {
            const int i = t.column_index(column);
            if (i < 0) raise(1752, 16, "Column '" + column + "' in table '" + t.name + "' is invalid for creating a default constraint.");
            column_def& c = t.columns[static_cast<std::size_t>(i)];
            if (c.default_text) raise(1781, 16, "Column already has a DEFAULT bound to it.");
            table probe = definition_of(t);
            probe.columns[static_cast<std::size_t>(i)].default_text = text;
            probe.columns[static_cast<std::size_t>(i)].default_name = cname;
            name_defaults_and_checks(db, probe);
            c.default_text = text;
            c.default_value = v;
            c.default_name = probe.columns[static_cast<std::size_t>(i)].default_name;
          });
          out_.done(0, 0, 0xFD, cmd_other);
        };
      }
      table shape;
      std::vector<std::function<void(table&)>> later;
      table_constraint(shape, cname, later);
      return [this, n, later] {
        auto lock = ctx_.cat.lock();
        database& db = db_of(n);
        table& t = changed_table(n, table_change::alter);
        schema_change(lock, db, t);
        table scratch;
        scratch.name = t.name;
        scratch.object_id = t.object_id;
        scratch.indexes.clear();
        for (const auto& f : later) f(scratch);
        creating_constraints(out_, [&] {
          for (auto ix : scratch.indexes) add_index(db, t, std::move(ix), n.written);
          if (scratch.checks.empty()) return;
          table probe = definition_of(t);
          for (auto ck : scratch.checks) {
            settle_check(ck, t);
            probe.checks.push_back(std::move(ck));
          }
          name_defaults_and_checks(db, probe);
          t.checks = probe.checks;
        });
        for (auto fk : scratch.foreign_keys) {
          creating_constraints(out_, [&] {
            resolve_reference(db, fk);
            add_foreign_key(ctx_, db, t, fk);
          });
          for (const auto& r : t.rows) {
            try {
              check_row(ctx_, db, t, r.cells(), "ALTER TABLE");
            } catch (const sql_error& e) {
              t.foreign_keys.pop_back();
              if (e.number == 547) raise(547, 16, "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"" + fk.name + "\". The conflict occurred in database \"" + db.name + "\", table \"" + fk.ref_owner + "." + fk.ref_table + "\", column '" + fk.ref_columns.at(0) + "'.");
              throw;
            }
          }
        }
        out_.done(0, 0, 0xFD, cmd_other);
      };
    }
    auto shape = std::make_shared<table>();
    std::vector<std::function<void(table&)>> later;
    do column_definition(*shape, later); while (sym(","));
    return [this, n, shape, later] {
      auto lock = ctx_.cat.lock();
      table& t = changed_table(n, table_change::alter);
      schema_change(lock, db_of(n), t);
      if (t.columns.size() + shape->columns.size() > max_columns)
        too_many_columns(shape->columns[max_columns - std::min(max_columns, t.columns.size())].name, t.name);
      for (const auto& c : shape->columns) {
        if (t.column_index(c.name) >= 0)
          raise(2705, 16, "Column names in each table must be unique. Column name '" + c.name + "' in table '" + t.name + "' is specified more than once.");
        if (!c.nullable && !c.default_text && !t.rows.empty())
          raise(4901, 16, "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT definition specified, or the column being added is an identity or timestamp column, or alternatively if none of the previous conditions are satisfied the table must be empty to allow addition of this column. Column '" + c.name + "' cannot be added to non-empty table '" + t.name + "' because it does not satisfy these conditions.");
      }
      table grown_table = definition_of(t);
      for (auto c : shape->columns) {
        settle_collation(c, db_of(n).collation);
        grown_table.columns.push_back(std::move(c));
      }
      table scratch;
      scratch.name = t.name;
      scratch.object_id = t.object_id;
      scratch.checks = t.checks;
      for (const auto& f : later) f(scratch);
      for (std::size_t k = t.checks.size(); k < scratch.checks.size(); ++k) {
        settle_check(scratch.checks[k], grown_table);
        grown_table.checks.push_back(scratch.checks[k]);
      }
      check_row_size(grown_table);
      creating_constraints(out_, [&] { name_defaults_and_checks(db_of(n), grown_table); });
      std::vector<row> grown;
      for (const auto& r : t.rows) {
        auto cells = r.cells();
        for (const auto& c : shape->columns) cells.push_back(c.default_text && !c.nullable ? convert(c.default_value, c.type, s_.conversion()) : cell{});
        grown.emplace_back(cells);
      }
      t.rows = std::move(grown);
      t.columns = std::move(grown_table.columns);
      t.checks = std::move(grown_table.checks);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  if (kw("DROP")) {
    expect_kw("CONSTRAINT");
    const std::string cname = identifier();
    return [this, n, cname] {
      auto lock = ctx_.cat.lock();
      table& t = changed_table(n, table_change::alter);
      schema_change(lock, db_of(n), t);
      auto k = name_key(cname);
      auto ix = std::find_if(t.indexes.begin(), t.indexes.end(), [&](const index_def& i) { return i.constraint && name_key(i.name) == k; });
      if (ix != t.indexes.end()) { t.indexes.erase(ix); out_.done(0, 0, 0xFD, cmd_other); return; }
      auto ck = std::find_if(t.checks.begin(), t.checks.end(), [&](const check_def& c) { return name_key(c.name) == k; });
      if (ck != t.checks.end()) { t.checks.erase(ck); out_.done(0, 0, 0xFD, cmd_other); return; }
      for (auto& c : t.columns) {
        if (c.default_text && name_key(c.default_name) == k) {
          c.default_text.reset();
          c.default_value = value{};
          c.default_name.clear();
          out_.done(0, 0, 0xFD, cmd_other);
          return;
        }
      }
      auto fk = std::find_if(t.foreign_keys.begin(), t.foreign_keys.end(), [&](const foreign_key& f) { return name_key(f.name) == k; });
      if (fk == t.foreign_keys.end()) raise(3728, 16, "'" + cname + "' is not a constraint.");
      t.foreign_keys.erase(fk);
      out_.done(0, 0, 0xFD, cmd_other);
    };
  }
  fail();
}

step batch::insert_bulk() {
  next();  // INSERT
  next();  // BULK
  name_parts n = object_name();
  // The column list ("[c] int, [d] varchar(10) COLLATE ...") gives the code page of text columns
  // that name a collation; the bulk message describes the columns otherwise. Then the hints.
  int depth = 0;
  bool keep_nulls = false, keep_identity = false, column_next = false;
  std::string column;
  std::map<std::string, uint16_t> collations;
  while (peek().kind != tk::end) {
    const token& t = peek();
    if (t.kind == tk::sym && t.text == "(") { ++depth; column_next = depth == 1; next(); continue; }
    if (t.kind == tk::sym && t.text == ")") --depth;
    if (depth == 0 && t.kind == tk::sym && t.text == ";") break;
    if (depth == 1 && t.kind == tk::sym && t.text == ",") column_next = true;
    else if (depth == 1 && column_next) { column = t.text; column_next = false; }
    else if (depth == 1 && is_kw(t, "COLLATE") && peek(1).kind != tk::end) {
      next();
      if (const auto c = find_collation(peek().text)) collations[name_key(column)] = *c;
    }
    if (depth == 1 && is_kw(t, "KEEP_NULLS")) keep_nulls = true;
    if (depth == 1 && is_kw(t, "KEEPIDENTITY")) keep_identity = true;
    next();
  }
  return [this, n, keep_nulls, keep_identity, collations] {
    auto lock = ctx_.cat.lock();
    table& t = table_of(n);
    s_.bulk = bulk_target{n.database.empty() ? s_.database : n.database, t.owner, t.name, keep_nulls, keep_identity, collations};
    out_.done(0, 0, 0xFD, cmd_other);
  };
}

step batch::transaction_statement() {
  const bool begin = is_kw(peek(), "BEGIN");
  const bool commit = is_kw(peek(), "COMMIT");
  next();
  const bool tran = kw("TRAN") || kw("TRANSACTION");
  if (!tran) kw("WORK");
  else if (peek().kind == tk::quoted || peek().kind == tk::var ||
           (peek().kind == tk::ident && !is_reserved(peek()) && !is_kw(peek(), "TRUNCATE") && !is_kw(peek(), "COMMIT") &&
            !is_kw(peek(), "ROLLBACK")))
    next();  // the transaction's name
  return [this, begin, commit] {
    auto lock = ctx_.cat.lock();
    if (begin) {
      ++s_.tran.count;
    } else if (s_.tran.count == 0) {
      if (commit) raise(3902, 16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      raise(3903, 16, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    } else if (!commit) {
      rollback_transaction(ctx_, s_);
    } else if (--s_.tran.count == 0) {
      commit_transaction(ctx_, s_);
    }
    out_.done(0, 0, 0xFD, cmd_other);
  };
}

void batch::await(std::unique_lock<std::mutex>& lock, const database& db, const table& t, lock_kind kind) {
  const std::string name = lock_name(db.name, t.owner, t.name);
  const int spid = s_.spid;
  const lock_manager& locks = ctx_.locks;
  if (wait_while(ctx_, s_, lock, [&] {
        return kind == lock_kind::write  ? locks.blocks_write(name, spid)
               : kind == lock_kind::scan ? locks.blocks_scan(name, spid)
                                         : locks.blocks_schema(name, spid);
      }))
    throw statement_retry{};
}

void batch::await_keys(std::unique_lock<std::mutex>& lock, const database& db, const table& t,
                       const std::vector<std::vector<cell>>& rows) {
  const std::string name = lock_name(db.name, t.owner, t.name);
  if (!ctx_.locks.has_keys(name)) return;
  std::vector<std::pair<std::string, std::string>> keys;  // index, key
  for (const auto& ix : t.indexes) {
    if (!ix.unique) continue;
    for (const auto& cells : rows) keys.emplace_back(name_key(ix.name), t.index_key(ix, cells));
  }
  const int spid = s_.spid;
  if (wait_while(ctx_, s_, lock, [&] {
        for (const auto& [index, key] : keys) {
          if (ctx_.locks.blocks_key(name, index, key, spid)) return true;
        }
        return false;
      }))
    throw statement_retry{};
}

void batch::schema_change(std::unique_lock<std::mutex>& lock, const database& db, const table& t) {
  await(lock, db, t, lock_kind::schema);
  if (s_.tran.count > 0) log_schema(ctx_, s_, db, t.owner, t.name, &t);
}

step batch::exec_statement() {
  if (is_kw(peek(), "EXEC") || is_kw(peek(), "EXECUTE")) next();
  const bool status_var = peek().kind == tk::var && peek(1).kind == tk::sym && peek(1).text == "=";
  if (status_var) { next(); next(); }
  name_parts proc = object_name();
  std::vector<std::pair<std::string, expr_ptr>> args;
  if (peek().kind != tk::end && !(peek().kind == tk::sym && peek().text == ";") && !is_reserved(peek())) {
    do {
      std::string name;
      if (peek().kind == tk::var && peek(1).kind == tk::sym && peek(1).text == "=") {
        name = next().text;
        next();
      }
      if ((peek().kind == tk::ident && !is_reserved(peek()) && !is_kw(peek(), "NULL") && !is_kw(peek(), "DEFAULT")) ||
          peek().kind == tk::quoted) {
        // A bare or bracketed word is a string to a procedure: EXEC sp_columns @table_name=[Sheet1$].
        auto e = std::make_shared<expr>();
        e->lit = value::of_string(next().text, true);
        args.emplace_back(name, e);
      } else {
        args.emplace_back(name, expression());
      }
      kw("OUTPUT");
    } while (sym(","));
  }
  return [this, proc, args] {
    std::vector<std::pair<std::string, value>> values;
    {
      auto lock = ctx_.cat.lock();
      for (const auto& [name, e] : args) values.emplace_back(name, eval(*e));
    }
    exec_procedure(proc.name, values);
    if (name_key(proc.name) != "SP_EXECUTESQL") out_.done(0, 0, 0xFE, cmd_other);
  };
}

// ---- catalog procedures ----------------------------------------------------

// SQL Server's LIKE with its escapes: % any run, _ any one, [..] a set ([_], [%], [[] literal).
bool like(std::string_view text, std::string_view pattern) {
  const std::string t = name_key(text);
  const std::string p = name_key(pattern);
  std::vector<std::vector<bool>> memo(t.size() + 1, std::vector<bool>(p.size() + 1, false));
  std::vector<std::vector<bool>> seen(t.size() + 1, std::vector<bool>(p.size() + 1, false));
  std::function<bool(std::size_t, std::size_t)> m = [&](std::size_t i, std::size_t j) -> bool {
    if (seen[i][j]) return memo[i][j];
    seen[i][j] = true;
    bool r;
    if (j == p.size()) r = i == t.size();
    else if (p[j] == '%') r = m(i, j + 1) || (i < t.size() && m(i + 1, j));
    else if (i == t.size()) r = false;
    else if (p[j] == '_') r = m(i + 1, j + 1);
    else if (p[j] == '[') {
      std::size_t k = j + 1;
      bool neg = k < p.size() && p[k] == '^';
      if (neg) ++k;
      bool hit = false;
      std::size_t start = k;
      while (k < p.size() && (p[k] != ']' || k == start)) {
        if (k + 2 < p.size() && p[k + 1] == '-' && p[k + 2] != ']') {
          hit = hit || (t[i] >= p[k] && t[i] <= p[k + 2]);
          k += 3;
        } else {
          hit = hit || t[i] == p[k];
          ++k;
        }
      }
      if (k >= p.size()) r = t[i] == '[' && m(i + 1, j + 1);  // no closing bracket: a plain '['
      else r = (hit != neg) && m(i + 1, k + 1);
    } else r = t[i] == p[j] && m(i + 1, j + 1);
    memo[i][j] = r;
    return r;
  };
  return m(0, 0);
}

struct proc_args {
  const std::vector<std::pair<std::string, value>>& args;
  std::vector<std::string> names;  // positional order
  std::optional<std::string> get(const std::string& name) const {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const bool match = args[i].first.empty() ? (i < names.size() && names[i] == name) : name_key(args[i].first) == name_key(name);
      if (!match) continue;
      const value& v = args[i].second;
      if (v.kind == value::null) return std::nullopt;
      return v.kind == value::typed ? render(v.type, v.data) : v.text;
    }
    return std::nullopt;
  }
};

cell text_cell(std::string_view utf8) { return cell::of(utf8_to_utf16(utf8)); }
cell char_cell(std::string_view utf8) {
  std::string b;
  utf8_to_cp1252(utf8, b);
  return cell::of(b);
}
cell int_cell(int64_t v, int size) {
  std::string b(static_cast<std::size_t>(size), '\0');
  for (int i = 0; i < size; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
  return cell::of(b);
}

result_column sysname(const char* n, bool nullable = true) { return {n, {sql_type::nvarchar, 128}, nullable, false, ""}; }
result_column int_col(const char* n, sql_type t = sql_type::int_, bool nullable = true) { return {n, {t}, nullable, false, ""}; }

// How a catalog procedure finds its tables: sp_tables by LIKE patterns (all
// owners when none is given); sp_columns so too, but a plain name without an
// owner as OBJECT_ID resolves it (default schema, then dbo) when there is such
// a table; sp_pkeys and sp_statistics only as OBJECT_ID resolves the name.
enum class table_lookup { patterns, columns, exact };

// The tables matching the arguments, in owner and name order.
std::vector<table*> matching_tables(server_context& ctx, session_state& s, const proc_args& a, const char* name_arg,
                                    const char* owner_arg, const char* qualifier_arg, std::string& dbname,
                                    table_lookup how = table_lookup::patterns) {
  dbname = a.get(qualifier_arg).value_or(s.database);
  std::vector<table*> out;
  database* db = ctx.cat.find(dbname);
  if (!db) return out;
  dbname = db->name;
  const auto name = a.get(name_arg);
  const auto owner = a.get(owner_arg);
  if (name && how != table_lookup::patterns) {
    const bool plain = name->find_first_of("%_[") == std::string::npos &&
                       (!owner || owner->find_first_of("%_[") == std::string::npos);
    table* t = owner && owner->empty() ? nullptr : resolve_table(ctx, s, *db, owner.value_or(""), *name);
    if (how == table_lookup::exact || (plain && t)) {
      if (t) out.push_back(t);
      return out;
    }
  }
  for (auto& [k, t] : db->tables) {
    if (name && !like(t->name, *name)) continue;
    if (owner && !like(t->owner, *owner)) continue;
    out.push_back(t.get());
  }
  std::sort(out.begin(), out.end(), [](table* x, table* y) {
    return std::make_pair(name_key(x->owner), name_key(x->name)) < std::make_pair(name_key(y->owner), name_key(y->name));
  });
  return out;
}

void send(response& out, const std::vector<result_column>& cols, const std::vector<std::vector<cell>>& rows) {
  out.columns(cols);
  for (const auto& r : rows) out.row(cols, r);
  out.done(0x10, rows.size(), 0xFF, cmd_select);
}

int odbc_type(sql_type t) {
  switch (t) {
    case sql_type::tinyint: return -6;
    case sql_type::smallint: return 5;
    case sql_type::int_: return 4;
    case sql_type::bigint: return -5;
    case sql_type::bit: return -7;
    case sql_type::real: return 7;
    case sql_type::float_: return 6;
    case sql_type::smallmoney: case sql_type::money: case sql_type::decimal: return 3;
    case sql_type::numeric: return 2;
    case sql_type::smalldatetime: case sql_type::datetime: case sql_type::datetime2: return 11;
    case sql_type::date: return -9;
    case sql_type::time: return -9;
    case sql_type::datetimeoffset: return -155;
    case sql_type::char_: return 1;
    case sql_type::varchar: return 12;
    case sql_type::text: return -1;
    case sql_type::nchar: return -8;
    case sql_type::nvarchar: return -9;
    case sql_type::ntext: return -10;
    case sql_type::binary: return -2;
    case sql_type::varbinary: return -3;
    case sql_type::image: return -4;
    case sql_type::uniqueidentifier: return -11;
    case sql_type::sql_variant: return -150;
  }
  return 0;
}

void batch::sp_tables(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@table_name", "@table_owner", "@table_qualifier", "@table_type"}};
  std::vector<std::vector<cell>> rows;
  {
    auto lock = ctx_.cat.lock();
    std::string dbname;
    const auto type = a.get("@table_type");
    const bool want_tables = !type || name_key(*type).find("TABLE") != std::string::npos;
    for (table* t : matching_tables(ctx_, s_, a, "@table_name", "@table_owner", "@table_qualifier", dbname)) {
      if (!want_tables) break;
      rows.push_back({text_cell(dbname), text_cell(t->owner), text_cell(t->name), char_cell("TABLE"), cell{}});
    }
  }
  send(out_, {sysname("TABLE_QUALIFIER"), sysname("TABLE_OWNER"), sysname("TABLE_NAME"),
              {"TABLE_TYPE", {sql_type::varchar, 32}, true, false, ""}, {"REMARKS", {sql_type::varchar, 254}, true, false, ""}},
       rows);
  out_.return_status(0);
}

void batch::sp_columns(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@table_name", "@table_owner", "@table_qualifier", "@column_name"}};
  std::vector<std::vector<cell>> rows;
  {
    auto lock = ctx_.cat.lock();
    std::string dbname;
    const auto colpat = a.get("@column_name");
    for (table* t : matching_tables(ctx_, s_, a, "@table_name", "@table_owner", "@table_qualifier", dbname, table_lookup::columns)) {
      int ordinal = 0;
      for (const auto& c : t->columns) {
        ++ordinal;
        if (colpat && !like(c.name, *colpat)) continue;
        const sql_type st = c.type.type;
        const bool chars = is_string_like(st);
        int precision = 0;
        std::optional<int> scale, radix;
        switch (st) {
          case sql_type::tinyint: precision = 3; scale = 0; radix = 10; break;
          case sql_type::smallint: precision = 5; scale = 0; radix = 10; break;
          case sql_type::int_: precision = 10; scale = 0; radix = 10; break;
          case sql_type::bigint: precision = 19; scale = 0; radix = 10; break;
          case sql_type::bit: precision = 1; scale = 0; break;
          case sql_type::real: precision = 7; radix = 2; break;
          case sql_type::float_: precision = 15; radix = 2; break;
          case sql_type::smallmoney: precision = 10; scale = 4; radix = 10; break;
          case sql_type::money: precision = 19; scale = 4; radix = 10; break;
          case sql_type::decimal: case sql_type::numeric: precision = c.type.precision; scale = c.type.scale; radix = 10; break;
          case sql_type::smalldatetime: precision = 16; scale = 0; break;
          case sql_type::datetime: precision = 23; scale = 3; break;
          case sql_type::date: precision = 10; break;
          case sql_type::time: precision = 8 + (c.type.scale ? c.type.scale + 1 : 0); scale = c.type.scale; break;
          case sql_type::datetime2: precision = 19 + (c.type.scale ? c.type.scale + 1 : 0); scale = c.type.scale; break;
          case sql_type::datetimeoffset: precision = 26 + (c.type.scale ? c.type.scale + 1 : 0); scale = c.type.scale; break;
          case sql_type::uniqueidentifier: precision = 36; break;
          case sql_type::ntext: precision = 1073741823; break;
          case sql_type::text: case sql_type::image: precision = 2147483647; break;
          default:
            precision = c.type.length < 0 ? (is_unicode(st) ? 1073741823 : 2147483647) : c.type.length;
        }
        const int length = c.type.length < 0 ? (is_unicode(st) ? 2147483646 : 2147483647) : storage_length(c.type);
        auto small = [](std::optional<int> v) { return v ? int_cell(*v, 2) : cell{}; };
        const int odbc = odbc_type(st);
        std::string tname = base_name(st);
        if (c.identity) tname += " identity";
        rows.push_back({text_cell(dbname), text_cell(t->owner), text_cell(t->name), text_cell(c.name), int_cell(odbc, 2),
                        text_cell(tname), int_cell(precision, 4), int_cell(length, 4), small(scale), small(radix),
                        int_cell(c.nullable ? 1 : 0, 2), cell{}, c.default_text ? text_cell(*c.default_text) : cell{},
                        int_cell(st == sql_type::datetime || st == sql_type::smalldatetime ? 9 : odbc, 2),
                        st == sql_type::datetime || st == sql_type::smalldatetime ? int_cell(3, 2) : cell{},
                        chars ? int_cell(length, 4) : cell{}, int_cell(ordinal, 4), char_cell(c.nullable ? "YES" : "NO"),
                        int_cell(39, 1)});
      }
    }
  }
  send(out_, {sysname("TABLE_QUALIFIER"), sysname("TABLE_OWNER"), sysname("TABLE_NAME"), sysname("COLUMN_NAME"),
              int_col("DATA_TYPE", sql_type::smallint), sysname("TYPE_NAME"), int_col("PRECISION"), int_col("LENGTH"),
              int_col("SCALE", sql_type::smallint), int_col("RADIX", sql_type::smallint), int_col("NULLABLE", sql_type::smallint),
              {"REMARKS", {sql_type::varchar, 254}, true, false, ""}, {"COLUMN_DEF", {sql_type::nvarchar, 4000}, true, false, ""},
              int_col("SQL_DATA_TYPE", sql_type::smallint), int_col("SQL_DATETIME_SUB", sql_type::smallint),
              int_col("CHAR_OCTET_LENGTH"), int_col("ORDINAL_POSITION"), {"IS_NULLABLE", {sql_type::varchar, 254}, true, false, ""},
              int_col("SS_DATA_TYPE", sql_type::tinyint)},
       rows);
  out_.return_status(0);
}

void batch::sp_pkeys(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@table_name", "@table_owner", "@table_qualifier"}};
  std::vector<std::vector<cell>> rows;
  {
    auto lock = ctx_.cat.lock();
    std::string dbname;
    for (table* t : matching_tables(ctx_, s_, a, "@table_name", "@table_owner", "@table_qualifier", dbname, table_lookup::exact)) {
      const index_def* pk = t->primary_key();
      if (!pk) continue;
      for (std::size_t k = 0; k < pk->columns.size(); ++k) {
        const auto& col = t->columns[static_cast<std::size_t>(t->column_index(pk->columns[k]))];
        rows.push_back({text_cell(dbname), text_cell(t->owner), text_cell(t->name), text_cell(col.name),
                        int_cell(static_cast<int64_t>(k + 1), 2), text_cell(pk->name)});
      }
    }
  }
  send(out_, {sysname("TABLE_QUALIFIER"), sysname("TABLE_OWNER"), sysname("TABLE_NAME"), sysname("COLUMN_NAME"),
              int_col("KEY_SEQ", sql_type::smallint), sysname("PK_NAME")},
       rows);
  out_.return_status(0);
}

void batch::sp_statistics(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@table_name", "@table_owner", "@table_qualifier", "@index_name", "@is_unique", "@accuracy"}};
  std::vector<std::vector<cell>> rows;
  {
    auto lock = ctx_.cat.lock();
    std::string dbname;
    const auto index_pat = a.get("@index_name");
    const bool unique_only = a.get("@is_unique").value_or("N") == "Y";
    for (table* t : matching_tables(ctx_, s_, a, "@table_name", "@table_owner", "@table_qualifier", dbname, table_lookup::exact)) {
      rows.push_back({text_cell(dbname), text_cell(t->owner), text_cell(t->name), cell{}, cell{}, cell{}, int_cell(0, 2),
                      cell{}, cell{}, cell{}, int_cell(static_cast<int64_t>(t->rows.size()), 4), int_cell(1, 4), cell{}});
      std::vector<const index_def*> ixs;
      for (const auto& ix : t->indexes) {
        if (index_pat && !like(ix.name, *index_pat)) continue;
        if (unique_only && !ix.unique) continue;
        ixs.push_back(&ix);
      }
      std::sort(ixs.begin(), ixs.end(), [](const index_def* x, const index_def* y) {
        return std::make_tuple(x->unique ? 0 : 1, !x->clustered, name_key(x->name)) <
               std::make_tuple(y->unique ? 0 : 1, !y->clustered, name_key(y->name));
      });
      for (const index_def* ix : ixs) {
        for (std::size_t k = 0; k < ix->columns.size(); ++k) {
          const auto& col = t->columns[static_cast<std::size_t>(t->column_index(ix->columns[k]))];
          rows.push_back({text_cell(dbname), text_cell(t->owner), text_cell(t->name), int_cell(ix->unique ? 0 : 1, 2),
                          text_cell(t->name), text_cell(ix->name), int_cell(ix->clustered ? 1 : 3, 2),
                          int_cell(static_cast<int64_t>(k + 1), 2), text_cell(col.name), char_cell("A"), cell{}, cell{}, cell{}});
        }
      }
    }
  }
  send(out_, {sysname("TABLE_QUALIFIER"), sysname("TABLE_OWNER"), sysname("TABLE_NAME"), int_col("NON_UNIQUE", sql_type::smallint),
              sysname("INDEX_QUALIFIER"), sysname("INDEX_NAME"), int_col("TYPE", sql_type::smallint),
              int_col("SEQ_IN_INDEX", sql_type::smallint), sysname("COLUMN_NAME"), {"COLLATION", {sql_type::char_, 1}, true, false, ""},
              int_col("CARDINALITY"), int_col("PAGES"), {"FILTER_CONDITION", {sql_type::varchar, 128}, true, false, ""}},
       rows);
  out_.return_status(0);
}

int rule_code(const std::string& r) {
  if (r == "CASCADE") return 0;
  if (r == "SET NULL") return 2;
  if (r == "SET DEFAULT") return 3;
  return 1;
}

void batch::sp_fkeys(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@pktable_name", "@pktable_owner", "@pktable_qualifier", "@fktable_name", "@fktable_owner", "@fktable_qualifier"}};
  std::vector<std::vector<cell>> rows;
  {
    auto lock = ctx_.cat.lock();
    const std::string dbname = a.get("@fktable_qualifier").value_or(a.get("@pktable_qualifier").value_or(s_.database));
    database* db = ctx_.cat.find(dbname);
    const auto pkname = a.get("@pktable_name"), pkowner = a.get("@pktable_owner");
    const auto fkname = a.get("@fktable_name"), fkowner = a.get("@fktable_owner");
    if (!pkname && !fkname) raise(15252, 16, "The primary key or foreign key table name must be given.");
    if (db) {
      // Both tables as OBJECT_ID resolves them (no patterns).
      auto named = [&](const std::optional<std::string>& owner, const std::string& name) -> table* {
        return owner && owner->empty() ? nullptr : resolve_table(ctx_, s_, *db, owner.value_or(""), name);
      };
      table* pk_table = pkname ? named(pkowner, *pkname) : nullptr;
      table* fk_table = fkname ? named(fkowner, *fkname) : nullptr;
      for (auto& [k, t] : db->tables) {
        if (fkname && t.get() != fk_table) continue;
        for (const auto& fk : t->foreign_keys) {
          table* parent = db->find(fk.ref_owner, fk.ref_table);
          if (pkname && (!parent || parent != pk_table)) continue;
          const index_def* key = parent ? parent->unique_index_on(fk.ref_columns) : nullptr;
          const std::string pk_name = key ? key->name : "";
          for (std::size_t i = 0; i < fk.columns.size(); ++i) {
            rows.push_back({text_cell(db->name), text_cell(parent ? parent->owner : fk.ref_owner), text_cell(parent ? parent->name : fk.ref_table),
                            text_cell(fk.ref_columns[i]), text_cell(db->name), text_cell(t->owner), text_cell(t->name),
                            text_cell(fk.columns[i]), int_cell(static_cast<int64_t>(i + 1), 2), int_cell(rule_code(fk.on_update), 2),
                            int_cell(rule_code(fk.on_delete), 2), text_cell(fk.name), text_cell(pk_name), int_cell(7, 2)});
          }
        }
      }
    }
  }
  send(out_, {sysname("PKTABLE_QUALIFIER"), sysname("PKTABLE_OWNER"), sysname("PKTABLE_NAME"), sysname("PKCOLUMN_NAME"),
              sysname("FKTABLE_QUALIFIER"), sysname("FKTABLE_OWNER"), sysname("FKTABLE_NAME"), sysname("FKCOLUMN_NAME"),
              int_col("KEY_SEQ", sql_type::smallint), int_col("UPDATE_RULE", sql_type::smallint),
              int_col("DELETE_RULE", sql_type::smallint), sysname("FK_NAME"), sysname("PK_NAME"),
              int_col("DEFERRABILITY", sql_type::smallint)},
       rows);
  out_.return_status(0);
}

// sp_adduser login [, user]: a user for the login, with (since SQL Server 2005) a
// schema of its name that is its default schema.
void batch::sp_adduser(const std::vector<std::pair<std::string, value>>& args) {
  proc_args a{args, {"@loginame", "@name_in_db", "@grpname"}};
  const auto login = a.get("@loginame");
  if (!login) raise(201, 16, "Procedure or function 'sp_adduser' expects parameter '@loginame', which was not supplied.");
  const std::string user = a.get("@name_in_db").value_or(*login);
  {
    auto lock = ctx_.cat.lock();
    database* db = ctx_.cat.find(s_.database);
    if (db) {
      const bool schemas = !owners_are_users(ctx_);
      if (schemas && db->find_schema(user)) raise(15023, 16, "User, group, or role '" + user + "' already exists in the current database.");
      create_user(ctx_.cat, *db, user, *login, schemas ? std::optional<std::string>(user) : std::nullopt);
      if (schemas) create_schema(*db, user, user);
    }
  }
  out_.return_status(0);
}

// The declared parameters of sp_executesql ("@a int, @b nvarchar(10)").
std::vector<std::pair<std::string, column_type>> declared_params(server_context& ctx, session_state& s, response& out,
                                                                 const std::string& decl);

void batch::sp_executesql(const std::vector<std::pair<std::string, value>>& args) {
  if (args.empty()) raise(201, 16, "Procedure or function 'sp_executesql' expects parameter '@statement', which was not supplied.");
  const value& stmt = args[0].second;
  const std::string sql = stmt.kind == value::typed ? render(stmt.type, stmt.data) : stmt.text;
  std::map<std::string, value> vars;
  std::vector<std::pair<std::string, column_type>> params;
  if (args.size() > 1) {
    const value& d = args[1].second;
    const std::string decl = d.kind == value::typed ? render(d.type, d.data) : d.text;
    params = declared_params(ctx_, s_, out_, decl);
  }
  for (std::size_t i = 2; i < args.size(); ++i) {
    std::string name = args[i].first;
    column_type type{sql_type::nvarchar, -1};
    if (name.empty() && i - 2 < params.size()) name = params[i - 2].first;
    for (const auto& [pn, pt] : params) {
      if (name_key(pn) == name_key(name)) type = pt;
    }
    vars[name_key(name)] = value::of_typed(type, convert(args[i].second, type, s_.conversion()));
  }
  for (const auto& [pn, pt] : params) {
    if (!vars.count(name_key(pn))) raise(8178, 16, "The parameterized query '(" + pn + ")' expects the parameter '" + pn + "', which was not supplied.");
  }
  session_state& s = s_;
  auto saved = s.variables;
  for (auto& [k, v] : vars) s.variables[k] = v;
  batch inner(ctx_, s, out_, sql);
  try {
    auto steps = inner.parse_all();
    for (auto& st : steps) run_statement(st);
  } catch (...) {
    s.variables = saved;
    throw;
  }
  s.variables = saved;
}

void batch::exec_procedure(const std::string& proc, const std::vector<std::pair<std::string, value>>& args) {
  const std::string k = name_key(proc);
  if (k == "SP_TABLES") sp_tables(args);
  else if (k == "SP_COLUMNS") sp_columns(args);
  else if (k == "SP_PKEYS") sp_pkeys(args);
  else if (k == "SP_STATISTICS") sp_statistics(args);
  else if (k == "SP_FKEYS") sp_fkeys(args);
  else if (k == "SP_ADDUSER") sp_adduser(args);
  else if (k == "SP_ADDROLEMEMBER" || k == "SP_ADDSRVROLEMEMBER") {
    const bool server = k == "SP_ADDSRVROLEMEMBER";
    proc_args a{args, server ? std::vector<std::string>{"@loginame", "@rolename"} : std::vector<std::string>{"@rolename", "@membername"}};
    const auto first = a.get(server ? "@loginame" : "@rolename"), second = a.get(server ? "@rolename" : "@membername");
    if (!first || !second) raise(201, 16, "Procedure or function '" + proc + "' expects parameter '" + (first ? a.names[1] : a.names[0]) + "', which was not supplied.");
    auto lock = ctx_.cat.lock();
    if (server) add_server_role_member(ctx_, s_, *second, *first, true);
    else if (database* db = ctx_.cat.find(s_.database)) add_role_member(ctx_, s_, *db, *first, *second, true);
    out_.return_status(0);
  }
  else if (k == "SP_EXECUTESQL") { sp_executesql(args); return; }
  else raise(2812, 16, "Could not find stored procedure '" + proc + "'.");
}

std::vector<std::pair<std::string, column_type>> declared_params(server_context& ctx, session_state& s, response& out,
                                                                 const std::string& decl) {
  std::vector<std::pair<std::string, column_type>> params;
  auto toks = lex(decl);
  std::size_t i = 0;
  while (toks[i].kind != tk::end) {
    if (toks[i].kind != tk::var) syntax_near(toks[i].raw);
    std::string name = toks[i++].text;
    std::size_t start = toks[i].pos;
    std::size_t j = i;
    int depth = 0;
    while (toks[j].kind != tk::end && !(depth == 0 && toks[j].kind == tk::sym && toks[j].text == ",")) {
      if (toks[j].kind == tk::sym && toks[j].text == "(") ++depth;
      if (toks[j].kind == tk::sym && toks[j].text == ")") --depth;
      ++j;
    }
    std::string type_text = decl.substr(start, toks[j].pos - start);
    for (const char* out_kw : {" OUTPUT", " output", " OUT", " out"}) {
      auto at = type_text.rfind(out_kw);
      if (at != std::string::npos && at + std::strlen(out_kw) == type_text.size()) type_text.resize(at);
    }
    batch b(ctx, s, out, type_text);
    params.emplace_back(name, b.parse_type_public());
    i = j;
    if (toks[i].kind == tk::sym) ++i;
  }
  return params;
}

}  // namespace

void use_database(server_context& ctx, session_state& s, std::string_view name, response& out) {
  database* db = ctx.cat.find(name);
  if (!db) raise(911, 16, "Database '" + std::string(name) + "' does not exist. Make sure that the name is entered correctly.");
  const auto who = principal_in(*db, s);
  if (!db->accessible || ctx.is_inaccessible(name) || !who)
    raise(916, 14, "The server principal \"" + s.user + "\" is not able to access the database \"" + db->name +
                       "\" under the current security context.");
  s.db_user = who->user;
  s.default_schema = who->default_schema;
  const std::string old = s.database;
  s.database = db->name;
  s.db_collation = db->collation;
  ctx.session_dbs[s.spid] = name_key(db->name);
  out.env_change(1, utf8_to_utf16(db->name), utf8_to_utf16(old));
  out.message(sql_error{5701, 0, 2, "Changed database context to '" + db->name + "'."}, true);
  out.env_change_bytes(7, collation_bytes(db->collation), "");
}

namespace {
// Errors after which SQL Server stops the whole batch.
bool aborts_batch(int number) {
  switch (number) {
    case 102: case 105: case 113: case 137: case 208: case 207: case 245: case 241: case 242: case 8114: case 8169:
    case 2715: case 195: case 206: case 257: case 235:
      return true;
    default:
      return false;
  }
}
bool terminates_statement(int number) {
  switch (number) {
    case 2627: case 2601: case 515: case 547: case 8152: case 2628: case 8115: case 544: case 8101: case 109: case 110: case 213:
      return true;
    default:
      return false;
  }
}
}  // namespace

// What this server cannot handle (a number too large for it, ...) is reported
// as an error of its own rather than taking the connection down.
sql_error limitation(const std::exception& e) {
  return sql_error{50000, 16, 1, std::string("The test server cannot run this statement: ") + e.what()};
}

void run_batch(server_context& ctx, session_state& s, std::string_view sql, response& out) {
  std::optional<batch> b;  // the steps refer to it
  std::vector<step> steps;
  try {
    b.emplace(ctx, s, out, sql);
    steps = b->parse_all();
  } catch (const sql_error& e) {
    out.message(e, false);
    return;
  } catch (const std::exception& e) {
    out.message(limitation(e), false);
    return;
  }
  for (auto& st : steps) {
    try {
      run_statement(st);
    } catch (const sql_error& e) {
      out.message(e, false);
      if (terminates_statement(e.number)) out.message(sql_error{3621, 0, 0, "The statement has been terminated."}, true);
      if (aborts_batch(e.number)) break;
      out.done(0, 0);
    } catch (const std::exception& e) {
      out.message(limitation(e), false);
      break;
    }
  }
}

void run_rpc(server_context& ctx, session_state& s, const rpc_request& rpc, response& out) {
  std::string name = rpc.proc_name;
  if (name.empty()) {
    if (rpc.proc_id == 10) name = "sp_executesql";
    else {
      out.message(sql_error{2812, 16, 62, "Could not find stored procedure '" + std::to_string(rpc.proc_id) + "'."}, false);
      out.done(0, 0, 0xFE);
      return;
    }
  }
  std::vector<std::pair<std::string, value>> args;
  for (const auto& p : rpc.params) args.emplace_back(p.name, value::of_typed(p.column.type, p.data));
  batch b(ctx, s, out, "");
  try {
    const std::string k = name_key(name);
    auto dot = k.rfind('.');
    b.exec_procedure(dot == std::string::npos ? name : name.substr(dot + 1), args);
    if (name_key(name) == "SP_EXECUTESQL") out.return_status(0);
  } catch (const sql_error& e) {
    out.message(e, false);
    if (terminates_statement(e.number)) out.message(sql_error{3621, 0, 0, "The statement has been terminated."}, true);
    out.return_status(-6);
  } catch (const std::exception& e) {
    out.message(limitation(e), false);
    out.return_status(-6);
  }
  out.done(0, 0, 0xFE, 0xE0);
}

}  // namespace tds
