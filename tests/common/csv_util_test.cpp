#include "common/csv_util.h"

#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
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
    // A stretch open at the end of the file ends the field.
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
    EXPECT_EQ(read_file(dir, ""), std::vector<texts>{});
    EXPECT_EQ(read_file(dir, "h\n", ',', true), std::vector<texts>{});
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
    // Bytes that are invalid in the code page become U+FFFD.
    rows = read_file(dir, "\xC3\xA9t\xC3\xA9,\xFF\xFE,\xE2\x82\n");
    kernel::set_thread_code_page(0);
    EXPECT_EQ(rows, (std::vector<texts>{{L"\u00E9t\u00E9", L"\uFFFD\uFFFD", L"\uFFFD"}}));
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
    csv_file empty(wpath(dir, "b.csv", ""), ',', false);
    EXPECT_TRUE(empty.is_eof());
    EXPECT_EQ(empty.get_read_percent(), 100);
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
