// The text the workbook benchmarks write: the header names, and a comment of
// about 160 characters of words (some outside ASCII) that ends in the row number.
#pragma once

#include <cstdint>
#include <string>

inline const char* const bench_heads[] = {"Id", "Amount", "When", "Code", "Comment", "Active", "Ratio", "Note"};

inline std::string bench_comment(std::uint32_t& seed, long row) {
  static const char* const words[] = {"invoice", "shipment", "Zürich", "delivery", "returned", "pending",
                                     "customer", "warehouse", "quarterly", "adjustment", "€", "approved",
                                     "backorder", "discount", "regional", "manager", "note", "urgent"};
  std::string comment;
  while (comment.size() < 160) {
    seed = seed * 1103515245u + 12345u;
    comment += words[(seed >> 16) % (sizeof words / sizeof *words)];
    comment += ' ';
  }
  return comment + "row " + std::to_string(row);
}
