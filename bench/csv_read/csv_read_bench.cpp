// Benchmark of the CSV reader.
//   csv_read_bench generate FILE RECORDS [1252]   writes a CSV file of RECORDS records of 8 fields,
//                                                 in UTF-8 or in Windows-1252
//   csv_read_bench read FILE [NAME]               reads it to the end and prints the figures,
//                                                 the records per second as NAME
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "common/csv_util.h"
#include "common/text_code_page.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace {

// A small deterministic generator, so every run reads the same file.
struct rng {
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    std::uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 16);
    }
    std::uint32_t below(std::uint32_t n) { return next() % n; }
};

const char* const names[] = {"Smith", "O'Brien", "Jones", "Nguyen", "M\xC3\xBCller", "Garcia", "Kowalski", "Ito"};
const char* const cities[] = {"London", "Paris", "New York", "Krak\xC3\xB3w", "Lyon", "Osaka", "Austin", "Oslo"};
// The same in Windows-1252.
const char* const names_1252[] = {"Smith", "O'Brien", "Jones", "Nguyen", "M\xFCller", "Garcia", "Kowalski", "Ito"};
const char* const cities_1252[] = {"London", "Paris", "New York", "Krak\xF3w", "Lyon", "Osaka", "Austin", "Oslo"};
const char* const words[] = {"red", "quick", "box", "fox", "lazy", "dog", "jumps", "over", "the", "blue"};

int generate(const char* path, long records, bool cp1252) {
    const char* const* const name = cp1252 ? names_1252 : names;
    const char* const* const city = cp1252 ? cities_1252 : cities;
    std::FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::perror(path);
        return 1;
    }
    rng r;
    std::fputs("id,amount,order_date,shipped_at,customer,quantity,city,note\r\n", f);
    for (long i = 1; i <= records; ++i) {
        unsigned cents = r.below(10000000);
        std::fprintf(f, "%ld,%s%u.%02u,%04u-%02u-%02u,%04u-%02u-%02u %02u:%02u:%02u,", i, r.below(10) == 0 ? "-" : "",
                     cents / 100, cents % 100, 1990 + r.below(35), 1 + r.below(12), 1 + r.below(28),
                     2000 + r.below(25), 1 + r.below(12), 1 + r.below(28), r.below(24), r.below(60), r.below(60));
        // Quoted text holding the delimiter and doubled quotes.
        std::fprintf(f, "\"%s, %c. \"\"%s\"\"\",%u,%s,\"", name[r.below(8)], 'A' + r.below(26), words[r.below(10)],
                     r.below(100000), city[r.below(8)]);
        int n = 2 + static_cast<int>(r.below(4));
        for (int w = 0; w < n; ++w) std::fprintf(f, "%s%s", w ? " " : "", words[r.below(10)]);
        std::fputs(r.below(4) == 0 ? ", \"\"see notes\"\"\"\r\n" : "\"\r\n", f);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}

int read(const char* path, const char* figure) {
    const std::wstring wide_path = tk_from_narrow(path, CP_THREAD_ACP);
    // The check that decides the code page, alone: the time it adds to the read.
    auto check_start = std::chrono::steady_clock::now();
    try {
        text_file_code_page(wide_path);
    } catch (const tk_exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    double check_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - check_start).count();
    auto start = std::chrono::steady_clock::now();
    UINT code_page = 0;
    long records = 0;
    long long chars = 0;
    try {
        csv_file csv(wide_path, ',', true);
        code_page = csv.get_code_page();
        while (!csv.is_eof()) {
            const udb_record& rec = *csv.get_record();
            for (std::size_t i = 0; i < rec.size(); ++i) chars += rec[i].get_size();
            ++records;
            csv.next();
        }
    } catch (const tk_exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("read %ld records, %lld characters in %.3f s (code page %u, checked in %.3f s)\n", records, chars,
                seconds, code_page, check_seconds);
    std::printf("BENCH %s %.0f records/s target >= 500000\n", figure, records / seconds);
    std::printf("BENCH csv_code_page_check_mb_per_s %.0f MB/s target >= 1000\n",
                static_cast<double>(std::filesystem::file_size(path)) / 1e6 / check_seconds);
    std::printf("BENCH csv_read_peak_mb %.1f MB target <= 32\n", usage.ru_maxrss / 1024.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "generate") == 0)
        return generate(argv[2], std::atol(argv[3]), argc == 5 && std::strcmp(argv[4], "1252") == 0);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "read") == 0)
        return read(argv[2], argc == 4 ? argv[3] : "csv_read_records_per_s");
    std::fprintf(stderr, "usage: csv_read_bench generate FILE RECORDS [1252] | read FILE [NAME]\n");
    return 2;
}
