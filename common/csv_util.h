// The CSV source: a delimited text file read as one table of text columns.
//
// csv_file derives the table's schema from the first line (field names when
// names_in_first_row, else F1, F2, ...), delivers one csv_record per line and
// reports how far it has read. csv_field_upsizer widens a destination text
// column when a value arrives that it cannot hold.
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TK/tk_excep.h"
#include "UDB/udb_db.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_recs.h"
#include "common/csv_scanner.h"

// One value of a CSV line: its text exactly as parsed (VT_BSTR), its length as
// the size.
class csv_field : public udb_field {
public:
    csv_field(const std::wstring& name, const std::wstring& text);
    // Named "F" followed by index + 1.
    csv_field(int index, const std::wstring& text);

    // Gives the field another text (and the size that goes with it).
    void set_text(const std::wstring& text);
};

// The fields of one line, in column order.
class csv_record : public udb_record {
public:
    // Splits the line at the delimiter: the fields take the names of the
    // schema's columns, or F1, F2, ... when the schema has none. Fields beyond
    // the schema's columns are dropped (fields_in_line and drops_text tell
    // about them); a shorter line gives fewer fields.
    csv_record(const std::wstring& line, const udb_schema& schema, char delimiter);
    ~csv_record() override;

    // Parses the next line into this record, reusing its field objects.
    void do_create(const std::wstring& line, const udb_schema& schema, char delimiter);

    // The number of fields of the line, those dropped included.
    std::size_t fields_in_line() const { return fields_in_line_; }
    // A dropped field is not empty.
    bool drops_text() const { return drops_text_; }

private:
    std::size_t fields_in_line_ = 0;
    bool drops_text_ = false;
    std::vector<std::wstring> texts_;                 // field texts of the line, reused
    std::vector<std::unique_ptr<udb_field>> spare_;  // fields of longer lines, kept for reuse
};

class csv_file : public udb_recordset {
public:
    // Opens the file; a file that cannot be opened, that is UTF-16 or UTF-32
    // text, or that is empty (no first line: no byte, or a UTF-8 byte-order
    // mark alone), raises a level-1 tk_exception naming it. Decides the code
    // page the whole file is read in (text_code_page.h). Reads the first line
    // into the schema; with names_in_first_row the first record is the second
    // line.
    csv_file(const std::wstring& path, char delimiter, bool names_in_first_row);
    ~csv_file() override;

    // Writing CSV is not supported: raises "Error opening CSV file" (level 1).
    void append_record(const udb_record& record) override;
    // The current line as a record, owned by the csv_file and valid until the
    // next get_record.
    udb_record* get_record() override;
    bool is_eof() override;
    // Reads the next line.
    void next() override;
    // Not supported: internal error.
    void prev() override;
    // Goes back to the start of the file; the current line stays.
    void reset() override;

    void init_schema(const std::wstring& first_line, bool names_in_first_row);
    std::wstring read_line();
    // The share of the file read so far, 0 to 100; 100 at the end of the input
    // and for an empty file. May be asked from another thread while this one reads.
    int get_read_percent() const;
    void write_csv_field(const std::string& text);

    char get_delimiter() const { return delimiter_; }
    // The code page the file is read in.
    UINT get_code_page() const { return code_page_; }

    // The level-0 errors of the lines read since the last call, in order: a
    // record with text past the first line's fields, a quoted field cut short.
    // Each names its record; the record itself is still delivered.
    std::vector<tk_exception> take_errors();
private:
    // Reads the next line into `line`; false when the input had no line left.
    // A read error raises a level-1 tk_exception.
    bool read_into(std::wstring& line);
    // Reads the next line into current_line_; false as read_into.
    bool read_current();
    // "record #n", or the first line when it holds the field names.
    std::wstring record_name() const;
    struct unique_names;
    std::wstring make_unique_field_name(const std::wstring& name, unique_names& names) const;

    char delimiter_;
    std::wstring path_;
    std::wstring current_line_;
    csv_scanner input_;
    std::ofstream output_;  // never opened: the system writes no CSV
    std::int64_t file_size_ = 0;
    std::unique_ptr<csv_record> current_record_;
    std::string line_bytes_;  // the bytes of the last line read, reused
    UINT code_page_ = CP_UTF8;
    int record_number_ = 0;  // of the record in current_line_; 0 for the line of field names
    int reported_record_ = -1;  // the last record whose dropped fields were reported
    std::vector<tk_exception> errors_;
    std::atomic<bool> finished_ = false;  // the end is reached (asked by the progress display)
};

// Widens a destination text column whenever a value arrives that the column's
// declared type cannot hold (at first a text of up to 255 characters), to a
// type that holds it; a later, longer value widens it again. The destination
// objects are not owned.
class csv_field_upsizer {
public:
    csv_field_upsizer(udb_database* dest_db, udb_recordset* dest_rs);
    virtual ~csv_field_upsizer() = default;
    csv_field_upsizer(const csv_field_upsizer&) = delete;
    csv_field_upsizer& operator=(const csv_field_upsizer&) = delete;

    // Widens the column of every field of the record whose value the column
    // cannot hold as it is declared now.
    void process(const udb_record& record);

protected:
    // The column, as its descriptor declares it, holds the value.
    virtual bool holds(const t_ftd& column, std::wstring_view value) const = 0;
    // Alters the destination column to a type that holds the value, never a
    // narrower one, and records the new declared size in the descriptor.
    virtual void do_upsize(t_ftd& column, std::wstring_view value) = 0;

    udb_database* dest_db_;
    udb_recordset* dest_rs_;
};
