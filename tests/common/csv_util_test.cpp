#include "common/csv_util.h"

#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "common/text_code_page.h"
#include "platform/kernel/codepage.h"
#include "tests/common/csv_test_files.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

using texts = std::vector<std::wstring>;

texts column_names(const csv_file& csv) {
    texts names;
    for (const t_ftd* f : csv.get_schema()) names.push_back(f->name);
    return names;
}

// Every record of the file as its field texts, read the way the drivers do.
std::vector<texts> records(csv_file& csv) {
    std::vector<texts> all;
    while (!csv.is_eof()) {
        udb_record* rec = csv.get_record();
        EXPECT_NE(rec, nullptr);
        texts row;
        for (std::size_t i = 0; i < rec->size(); ++i) {
            const udb_field& f = (*rec)[i];
            EXPECT_EQ(f.get_vt(), VT_BSTR);
            EXPECT_EQ(f.get_size(), static_cast<int>(f.to_wstring().size()));
            row.push_back(f.to_wstring());
        }
        all.push_back(row);
        csv.next();
        EXPECT_LE(all.size(), 100000u);
        if (all.size() > 100000) break;
    }
    return all;
}

std::wstring wpath(const csv_temp_dir& dir, const std::string& name, const std::string& bytes) {
    return tk_from_narrow(dir.write(name, bytes), CP_THREAD_ACP);
}

std::vector<texts> read_file(const csv_temp_dir& dir, const std::string& bytes, char delim = ',',
                             bool names = false) {
    csv_file csv(wpath(dir, "t.csv", bytes), delim, names);
    return records(csv);
}

TEST(csv_file, schema_from_the_first_line) {
    csv_temp_dir dir;
    {
        csv_file csv(wpath(dir, "a.csv", "id; Name ;name;NAME\n1;2;3;4\n"), ';', true);
        EXPECT_EQ(column_names(csv), (texts{L"id", L"Name", L"name_", L"NAME_1"}));
        for (const t_ftd* f : csv.get_schema()) {
            EXPECT_EQ(f->vartype, VT_BSTR);
            EXPECT_EQ(f->size, 255);
            EXPECT_FALSE(f->not_null);
        }
        EXPECT_EQ(records(csv), (std::vector<texts>{{L"1", L"2", L"3", L"4"}}));
    }
    {
        csv_file csv(wpath(dir, "b.csv", "Name,name,NAME,nAme,naMe\n"), ',', true);
        EXPECT_EQ(column_names(csv), (texts{L"Name", L"name_", L"NAME_1", L"nAme_1_", L"naMe_1_2"}));
        EXPECT_TRUE(csv.is_eof());
    }
    {
        // Without names: F1, F2, ... and the first line is data.
        csv_file csv(wpath(dir, "c.csv", "a,b,c\n1,2,3\n"), ',', false);
        EXPECT_EQ(column_names(csv), (texts{L"F1", L"F2", L"F3"}));
        EXPECT_EQ(records(csv), (std::vector<texts>{{L"a", L"b", L"c"}, {L"1", L"2", L"3"}}));
    }
    {
        // An empty header cell is named by its position; a UTF-8 byte-order mark is no part of a name.
        csv_file csv(wpath(dir, "d.csv", "\xEF\xBB\xBFid,  ,\"F1\",x\r\n"), ',', true);
        EXPECT_EQ(column_names(csv), (texts{L"id", L"F2", L"F1", L"x"}));
    }
    {
        csv_file csv(wpath(dir, "e.csv", "\n1,2\n"), ',', true);
        EXPECT_EQ(column_names(csv), (texts{L"F1"}));
        EXPECT_EQ(records(csv), (std::vector<texts>{{L"1"}}));
    }
}

TEST(csv_file, many_equal_names_stay_short_and_unique) {
    csv_temp_dir dir;
    std::string header = "x";
    for (int i = 1; i < 3000; ++i) header += i % 2 ? ",X" : ",x";
    csv_file csv(wpath(dir, "a.csv", header + "\n"), ',', true);
    texts names = column_names(csv);
    ASSERT_EQ(names.size(), 3000u);
    EXPECT_EQ(texts(names.begin(), names.begin() + 5), (texts{L"x", L"X_", L"x_1", L"X_1_", L"x_1_2"}));
    EXPECT_EQ(names[24], L"x_1_2_3_1_2_3_1_2_3_1_2_3");
    EXPECT_EQ(names[25], L"X_2");
    std::set<std::wstring> folded;
    for (const std::wstring& n : names) {
        EXPECT_LE(n.size(), 25u);
        std::wstring f = n;
        for (wchar_t& c : f) c = static_cast<wchar_t>(std::towlower(c));
        folded.insert(f);
    }
    EXPECT_EQ(folded.size(), names.size());
}

TEST(csv_file, quoted_fields) {
    csv_temp_dir dir;
    EXPECT_EQ(read_file(dir, "a,\"b,c\",d\n\"\"\"hi\"\"\",x,y\nx,\"\",y\n"),
              (std::vector<texts>{{L"a", L"b,c", L"d"}, {L"\"hi\"", L"x", L"y"}, {L"x", L"", L"y"}}));
    // A line break inside quotes is data: the field and the record go on.
    EXPECT_EQ(read_file(dir, "id,note\r\n1,\"two\r\nlines, \"\"quoted\"\"\"\r\n2,\"\"\r\n", ',', true),
              (std::vector<texts>{{L"1", L"two\nlines, \"quoted\""}, {L"2", L""}}));
    // A stretch open at the end of the file ends the field (and is reported).
    EXPECT_EQ(read_file(dir, "a,b\n1,\"open\n"), (std::vector<texts>{{L"a", L"b"}, {L"1", L"open"}}));
    // Fields are not trimmed; a tab or a blank delimits as chosen.
    EXPECT_EQ(read_file(dir, " a \t\"b\tc\"\n", '\t'), (std::vector<texts>{{L" a ", L"b\tc"}}));
    EXPECT_EQ(read_file(dir, "a  \"b c\"\n", ' '), (std::vector<texts>{{L"a", L"", L"b c"}}));
}

TEST(csv_file, field_counts_and_line_ends) {
    csv_temp_dir dir;
    {
        csv_file csv(wpath(dir, "a.csv", "a,b,c\n1,2,3,4,5\n1,2\n\nx,\"y\n,z\",w,\"v\nu\"\nlast"), ',', true);
        auto rows = records(csv);
        EXPECT_EQ(rows, (std::vector<texts>{{L"1", L"2", L"3"}, {L"1", L"2"}, {L""}, {L"x", L"y\n,z", L"w"}, {L"last"}}));
    }
    {
        // The empty line gives one empty field named after the first column.
        csv_file csv(wpath(dir, "b.csv", "k,v\n\n"), ',', true);
        ASSERT_FALSE(csv.is_eof());
        udb_record* rec = csv.get_record();
        ASSERT_EQ(rec->size(), 1u);
        EXPECT_EQ((*rec)[0].get_name(), L"k");
        EXPECT_EQ((*rec)[0].to_wstring(), L"");
        csv.next();
        EXPECT_TRUE(csv.is_eof());
    }
    // One final line feed adds no record, each further one an empty record.
    EXPECT_EQ(read_file(dir, "a\r\nb\r\n"), (std::vector<texts>{{L"a"}, {L"b"}}));
    EXPECT_EQ(read_file(dir, "a\n\n\n"), (std::vector<texts>{{L"a"}, {L""}, {L""}}));
    // A file of field names alone is an empty table (a file without any line is refused, see failures).
    EXPECT_EQ(read_file(dir, "h\n", ',', true), std::vector<texts>{});
}

TEST(csv_file, errors_name_their_record) {
    csv_temp_dir dir;
    auto messages = [](csv_file& csv) {
        std::vector<std::string> out;
        for (const tk_exception& e : csv.take_errors()) out.push_back(e.what());
        return out;
    };
    {
        // The line of field names: reported before the first record.
        csv_file csv(wpath(dir, "a.csv", "id,\"name\n1,x,y\n"), ',', true);
        EXPECT_EQ(column_names(csv), (texts{L"id", L"name"}));
        EXPECT_EQ(messages(csv), (std::vector<std::string>{"the line of field names: the quoted field that begins on "
                                                           "line 1 is never closed; the record ends with that line "
                                                           "and the lines after it are read as records"}));
        // Asked twice for the same record, it is reported once.
        csv.get_record();
        csv.get_record();
        EXPECT_EQ(messages(csv), (std::vector<std::string>{
                                     "record #1 has 3 fields, the first line has 2; fields 3 to 3 were not converted"}));
    }
    {
        // Without field names the first line is record #1.
        csv_file csv(wpath(dir, "b.csv", "1,\"a\n2,b\n"), ',', false);
        EXPECT_EQ(messages(csv).at(0).rfind("record #1: the quoted field that begins on line 1 is never closed", 0), 0u);
        EXPECT_EQ(records(csv), (std::vector<texts>{{L"1", L"a"}, {L"2", L"b"}}));
        EXPECT_TRUE(messages(csv).empty());
    }
}

TEST(csv_file, records_reuse_keeps_names_and_counts) {
    csv_temp_dir dir;
    csv_file csv(wpath(dir, "a.csv", "one,two,three\n1,2,3\n4\n5,6,7\n"), ',', true);
    std::vector<texts> names;
    while (!csv.is_eof()) {
        udb_record* rec = csv.get_record();
        texts n;
        for (std::size_t i = 0; i < rec->size(); ++i) n.push_back((*rec)[i].get_name());
        names.push_back(n);
        csv.next();
    }
    EXPECT_EQ(names, (std::vector<texts>{{L"one", L"two", L"three"}, {L"one"}, {L"one", L"two", L"three"}}));
}

TEST(csv_file, long_lines_and_code_pages) {
    csv_temp_dir dir;
    std::wstring big(200000, L'x');
    EXPECT_EQ(read_file(dir, "1," + std::string(200000, 'x') + ",3\n2\n"),
              (std::vector<texts>{{L"1", big, L"3"}, {L"2"}}));
    kernel::set_thread_code_page(1252);
    auto rows = read_file(dir, "caf\xE9;\x80\n");
    kernel::set_thread_code_page(CP_UTF8);
    EXPECT_EQ(rows, (std::vector<texts>{{L"caf\u00E9;\u20AC"}}));
    // A file that is not UTF-8 is read in Windows-1252 as a whole, its first
    // lines that are valid UTF-8 included.
    rows = read_file(dir, "\xC3\xA9t\xC3\xA9\n" + std::string(100000, 'x') + "\n\xFF\xFE \xE2\x82\n");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (texts{L"\u00C3\u00A9t\u00C3\u00A9"}));
    EXPECT_EQ(rows[2], (texts{L"\u00FF\u00FE \u00E2\u201A"}));
    kernel::set_thread_code_page(0);
}

// The reader's fixtures: each file, its records and the errors it reports.
class csv_fixture : public ::testing::Test {
protected:
    void TearDown() override { kernel::set_thread_code_page(0); }
    static std::wstring fixture(const char* name) {
        return tk_from_narrow(std::string(ORV_SOURCE_DIR) + "/tests/fixtures/csv/" + name, CP_THREAD_ACP);
    }
    // The records of a fixture and, after each, the errors reported up to it.
    std::vector<texts> read(const char* name, char delimiter, UINT code_page = CP_UTF8) {
        kernel::set_thread_code_page(code_page);
        csv_file csv(fixture(name), delimiter, true);
        code_page_read = csv.get_code_page();
        errors.clear();
        std::vector<texts> all;
        while (!csv.is_eof()) {
            const udb_record& rec = *csv.get_record();
            for (const tk_exception& e : csv.take_errors()) {
                EXPECT_EQ(e.get_level(), 0);
                errors.push_back(e.what());
            }
            texts row;
            for (std::size_t i = 0; i < rec.size(); ++i) row.push_back(rec[i].to_wstring());
            all.push_back(row);
            csv.next();
        }
        EXPECT_TRUE(csv.take_errors().empty());
        return all;
    }
    std::vector<std::string> errors;
    UINT code_page_read = 0;
};

TEST_F(csv_fixture, quotes_inside_unquoted_fields_are_data) {
    EXPECT_EQ(read("quotes_in_unquoted_fields.csv", ','),
              (std::vector<texts>{{L"1", L"37\u00B036'37.8\"N", L"a"},
                                  {L"2", L"x\"y\"z", L"b"},
                                  {L"3", L"12\" ruler", L"3"},
                                  {L"4", L"a\"b", L"c"},
                                  {L"5", L"", L"e"},
                                  {L"6", L"say \"hi\", ok", L"f"}}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(csv_fixture, an_unterminated_quote_is_reported_and_the_records_after_it_are_read) {
    EXPECT_EQ(read("unterminated_quote.csv", ','),
              (std::vector<texts>{{L"1", L"first"},
                                  {L"2", L"never closed"},
                                  {L"3", L"third"},
                                  {L"4", L""},
                                  {L"5", L"a\"b"},
                                  {L"6", L"last"}}));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0],
              "record #2: the quoted field that begins on line 3 is never closed; the record ends with that line and "
              "the lines after it are read as records");
}

TEST_F(csv_fixture, text_past_the_first_lines_fields_is_reported_once_per_record) {
    EXPECT_EQ(read("extra_fields.csv", ';'), (std::vector<texts>{{L"1", L"2"}, {L"3", L"4"}, {L"7", L"8"},
                                                                 {L"9", L"10"}, {L"11", L"12"}}));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "record #2 has 4 fields, the first line has 2; fields 3 to 4 were not converted",
                          "record #5 has 4 fields, the first line has 2; fields 3 to 4 were not converted"}));
}

TEST_F(csv_fixture, files_not_in_utf8_are_read_in_windows_1252) {
    std::wstring all_high =
        L"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
        L"\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
    for (wchar_t c = 0xA0; c <= 0xFF; ++c) all_high += c;
    const std::vector<texts> names{{L"1", L"M\u00FCller"}, {L"2", L"Caf\u00E9 \u20AC 5"}};
    auto with = [&](const std::wstring& third) {
        std::vector<texts> rows = names;
        rows.push_back({L"3", third});
        return rows;
    };
    EXPECT_EQ(read("windows_1252.csv", ';'), with(all_high));
    EXPECT_EQ(code_page_read, cp_windows_1252);
    EXPECT_EQ(read("utf8.csv", ';'), with(L"\U0001F600"));
    EXPECT_EQ(code_page_read, CP_UTF8);
    EXPECT_EQ(read("utf8_bom.csv", ';'), with(L"\U0001F600"));
    EXPECT_EQ(code_page_read, CP_UTF8);
    EXPECT_TRUE(errors.empty());
}

TEST_F(csv_fixture, another_locale_codeset_is_the_code_page) {
    EXPECT_EQ(read("windows_1251.csv", ';', 1251),
              (std::vector<texts>{{L"1", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
                                  {L"2", L"\u0401\u0436\u0438\u043A \u2116" L"5"}}));
    EXPECT_EQ(code_page_read, 1251u);
    // In a Windows-1252 locale a UTF-8 file without a mark is read as today, byte by byte.
    EXPECT_EQ(read("utf8.csv", ';', cp_windows_1252)[0], (texts{L"1", L"M\u00C3\u00BCller"}));
    // A byte-order mark says UTF-8 whatever the locale.
    EXPECT_EQ(read("utf8_bom.csv", ';', 1251)[0], (texts{L"1", L"M\u00FCller"}));
}

TEST_F(csv_fixture, utf16_and_utf32_files_are_refused) {
    for (const char* name : {"utf16le_bom.csv", "utf16be_bom.csv", "utf32le_bom.csv", "utf32be_bom.csv"}) {
        try {
            read(name, ';');
            ADD_FAILURE() << name << " was read";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            const std::string message = e.what();
            EXPECT_NE(message.find(name), std::string::npos) << message;
            EXPECT_NE(message.find(name[3] == '1' ? "is UTF-16 text" : "is UTF-32 text"), std::string::npos) << message;
        }
    }
}

TEST(csv_file, failures) {
    csv_temp_dir dir;
    std::wstring missing = tk_from_narrow((dir.path() / "missing.csv").string(), CP_THREAD_ACP);
    try {
        csv_file csv(missing, ',', true);
        FAIL() << "a missing file was opened";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(std::string(e.what()).find("missing.csv"), std::string::npos) << e.what();
    }
    try {
        // The kernel refuses to read a process's memory at address 0.
        csv_file csv(L"/proc/self/mem", ',', true);
        FAIL() << "a file that cannot be read gave no error";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()).rfind("Error reading CSV file /proc/self/mem", 0), 0u) << e.what();
    }
    // A file without a first line is no table, with field names or without.
    for (const char* bytes : {"", "\xEF\xBB\xBF"}) {
        for (bool names : {true, false}) {
            try {
                csv_file csv(wpath(dir, "empty.csv", bytes), ',', names);
                ADD_FAILURE() << "an empty file was read, " << std::string(bytes).size() << " bytes";
            } catch (const tk_exception& e) {
                EXPECT_EQ(e.get_level(), 1);
                EXPECT_NE(std::string(e.what()).find("empty.csv is empty"), std::string::npos) << e.what();
            }
        }
    }
    csv_file csv(wpath(dir, "a.csv", "a\n1\n"), ',', true);
    try {
        csv.prev();
        FAIL() << "prev is not supported";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
        EXPECT_EQ(std::string(e.what()), std::string("Internal error: \ncode=") + tk_location_code("csv_util", 240));
    }
    try {
        csv.append_record(*csv.get_record());
        FAIL() << "CSV is never written";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "Error opening CSV file");
    }
}

TEST(csv_file, read_percent) {
    csv_temp_dir dir;
    {
        csv_file csv(wpath(dir, "a.csv", "h\n1234567\n1234567890123456789\n"), ',', true);
        int first = csv.get_read_percent();
        EXPECT_EQ(first, 33);  // 10 of 30 bytes read
        csv.next();
        EXPECT_EQ(csv.get_read_percent(), 100);
        csv.next();
        EXPECT_TRUE(csv.is_eof());
        EXPECT_EQ(csv.get_read_percent(), 100);
    }
    csv_file names_only(wpath(dir, "b.csv", "h\n"), ',', true);
    EXPECT_TRUE(names_only.is_eof());
    EXPECT_EQ(names_only.get_read_percent(), 100);
}

// A destination recordset that only has a schema.
class schema_only_recordset : public udb_recordset {
public:
    explicit schema_only_recordset(int columns) : udb_recordset(L"dest", true) {
        for (int i = 0; i < columns; ++i)
            schema_.push_back(std::make_unique<t_ftd>(255, L"c" + std::to_wstring(i), static_cast<VARTYPE>(VT_BSTR),
                                                      false, false, ole_variant(), 0));
    }
    void append_record(const udb_record&) override {}
};

// Columns hold as many characters as their size; a widened column takes ten
// times the value's length.
class recording_upsizer : public csv_field_upsizer {
public:
    using csv_field_upsizer::csv_field_upsizer;
    std::vector<std::wstring> widened;

protected:
    bool holds(const t_ftd& column, std::wstring_view value) const override {
        return value.size() <= static_cast<std::size_t>(column.size);
    }
    void do_upsize(t_ftd& column, std::wstring_view value) override {
        widened.push_back(column.name);
        column.size = static_cast<int>(value.size() * 10);
    }
};

TEST(csv_field_upsizer, widens_a_column_whenever_its_declared_size_is_too_small) {
    csv_temp_dir dir;
    std::string c255(255, 'a'), c256(256, 'b'), c300(300, 'c'), c3000(3000, 'd'), c2561(2561, 'e');
    csv_file csv(wpath(dir, "a.csv", "x,y,z\n" + c255 + ",1," + c255 + "\n1," + c256 + ",2\n" + c300 + "," + c300 +
                                         ",3\n1,2\n" + c3000 + "," + c2561 + ",4,5\n"),
                 ',', true);
    schema_only_recordset dest(3);
    recording_upsizer upsizer(nullptr, &dest);
    std::vector<std::size_t> after;
    while (!csv.is_eof()) {
        upsizer.process(*csv.get_record());
        after.push_back(upsizer.widened.size());
        csv.next();
    }
    // 256 widens y to 2560, 300 x to 3000; 3000 fits x, 2561 widens y again.
    EXPECT_EQ(after, (std::vector<std::size_t>{0, 1, 2, 2, 3}));
    EXPECT_EQ(upsizer.widened, (std::vector<std::wstring>{L"c1", L"c0", L"c1"}));
    EXPECT_EQ(dest.get_schema()[1].size, 25610);
}

}  // namespace
