// Fixed-width fields of both output files, character for character: integer text (`str`), I12,
// F8.4 / F15.4, ES16.8E2 and the five-per-line row blocks. Numbers are correctly rounded from the
// exact binary value, ties to even. Writers append to a caller's buffer without heap allocation
// of their own.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zephor {

// The integer as its decimal text, left-justified in 20 characters, blank-padded on the right.
std::string str(std::int32_t k);

// The bare decimal text of the integer ("-" for negatives, no "+", no leading zeros).
void put_integer_text(std::string& out, std::int32_t k);
std::string integer_text(std::int32_t k);

// I12: the integer right-justified in 12 characters.
void put_i12(std::string& out, std::int32_t k);

// Fw.4 (w = 8 or 15): four decimals, right-justified; a "-" also on negative zero and on negatives
// that round to zero; w asterisks when the signed body is wider than w.
void put_f4(std::string& out, double x, int width);
// The same field through std::to_chars, the reference put_f4 is tested against.
void put_f4_reference(std::string& out, double x, int width);

// ES16.8E2: one digit, ".", eight digits, "E", sign, two exponent digits, right-justified in 16;
// sixteen asterisks when the rounded exponent needs three digits.
void put_es16(std::string& out, double x);
// The same 16 characters written at `out`; returns out + 16.
char* put_es16(char* out, double x);
// The same field through std::to_chars: the reference put_es16 is tested against. put_es16
// rounds in exact integer arithmetic and gives the same characters for every double.
void put_es16_reference(std::string& out, double x);

}  // namespace zephor
