// Float to text and back: the system's layouts and special texts, and a property test of the
// digits and of reading against Python's repr and float().
#include "runtime/float_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include "../support/python.h"

namespace {

using namespace kaz;

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

uint64_t bits_of(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double from_bits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

std::string form(double v, int precision, bool keep_zero) {
  char buf[float_text_size];
  std::size_t n = sysrt::form_float(buf, v, precision, keep_zero);
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

std::string kind_text(double v, float_::text_kind kind, bool pretty = true) {
  char buf[float_text_size];
  std::size_t n = float_::to_cstring(buf, v, kind, pretty);
  EXPECT_EQ(std::strlen(buf), n);
  return buf;
}

TEST(FormFloat, LayoutsAndThresholds) {
  struct {
    double value;
    int precision;
    bool keep_zero;
    const char* text;
  } cases[] = {
      {1.5, 0, true, "1.5"},
      {100.0, 0, true, "100.0"},
      {100.0, 0, false, "100"},
      {0.1, 0, true, "0.1"},
      {0.1 + 0.2, 0, true, "0.30000000000000004"},
      {-2.5e-10, 0, true, "-2.5e-10"},
      {1.2345678901234568e17, 0, true, "1.2345678901234568e17"},
      {1e16, 0, true, "10000000000000000.0"},
      {1e17, 0, true, "1.0e17"},
      {1e17, 0, false, "1e17"},
      {99999999999999999.0, 0, true, "1.0e17"},
      {12345678901234567.0, 0, true, "12345678901234568.0"},
      {1e-7, 0, true, "0.0000001"},
      {1e-8, 0, true, "1.0e-8"},
      {-1.5e-7, 0, false, "-0.00000015"},
      {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
      {5e-324, 0, true, "5.0e-324"},
      {0.0, 0, true, "0.0"},
      {-0.0, 0, true, "-0.0"},
      {0.0, 0, false, "0"},
      {-0.0, 0, false, "-0"},
      {inf, 0, true, "1.#INF"},
      {-inf, 0, true, "-1.#INF"},
      {nan, 0, true, "1.#NaN"},
      {-nan, 0, false, "1.#NaN"},
      {2.0 / 3.0, 3, true, "0.667"},
      {0.5, 3, true, "0.5"},
      {9.9996, 4, false, "10"},
      {0.125, 2, false, "0.12"},  // a tie goes to the even digit
      {0.375, 2, false, "0.38"},
      {1234567.0, 6, false, "1234570"},
      {1e20, 6, false, "1e20"},
  };
  for (auto& c : cases)
    EXPECT_EQ(form(c.value, c.precision, c.keep_zero), c.text)
        << c.value << " precision " << c.precision;
}

TEST(FormFloat, DigitsAndSpecialPositions) {
  auto d = sysrt::float_to_digits(-1234.5, 0, false);
  EXPECT_STREQ(d.digits, "12345");
  EXPECT_EQ(d.count, 5);
  EXPECT_EQ(d.decpt, 4);
  EXPECT_TRUE(d.negative);
  EXPECT_EQ(sysrt::float_to_digits(0.0, 0, false).decpt, sysrt::decpt_zero);
  EXPECT_EQ(sysrt::float_to_digits(-inf, 0, false).decpt, sysrt::decpt_special);
  EXPECT_STREQ(sysrt::float_to_digits(-inf, 0, false).digits, "-1.#INF");
}

TEST(FloatToCstring, KindsAndCleanups) {
  using k = float_::text_kind;
  struct {
    double value;
    k kind;
    bool pretty;
    const char* text;
  } cases[] = {
      {42.0, k::float64, true, "42.0"},
      {1e20, k::float64, true, "1.0e20"},
      {1e-5, k::float64, true, "1.0e-5"},
      {1.5e-5, k::float64, true, "1.5e-5"},
      {0.1 + 0.2, k::float64, true, "0.3"},
      {2.675 * 3, k::float64, true, "8.025"},        // 8.024999999999999 is noise
      {2.675 * 3, k::float64, false, "8.024999999999999"},
      {1e-300, k::float64, false, "1.0e-300"},
      {1e-17, k::float64, true, "0.0"},               // below the double epsilon
      {-1e-17, k::float64, false, "-1.0e-17"},
      {-0.0, k::float64, false, "-0.0"},
      {-0.0, k::float64, true, "0.0"},
      {50.0, k::percent64, true, "50%"},
      {12.5, k::percent64, true, "12.5%"},
      {0.1, k::percent64, true, "0.1%"},
      {1e20, k::percent64, true, "1e20%"},
      {0.0, k::percent64, true, "0%"},
      {inf, k::percent64, true, "1.#INF"},
      {-inf, k::percent32, true, "-1.#INF"},
      {nan, k::point, true, "1.#NaN"},
      {double(0.1f), k::vector32, true, "0.1"},
      {3.0, k::vector32, true, "3.0"},
      {double(0.1f), k::percent32, true, "0.1%"},
      {1.0, k::point, true, "1"},
      {-3.25, k::point, true, "-3.25"},
      {0.0, k::point, true, "0"},
      {1234567.0, k::point, true, "1234567"},
      {12345678.0, k::point, true, "1.234568e7"},
      {30.0, k::seconds, true, "30"},
      {5.5, k::seconds, true, "5.5"},
      {12.3456789, k::seconds, true, "12.3457"},
      {0.000001, k::seconds, true, "0.000001"},
  };
  for (auto& c : cases)
    EXPECT_EQ(kind_text(c.value, c.kind, c.pretty), c.text)
        << c.value << " kind " << int(c.kind) << " pretty " << c.pretty;
}

TEST(TextToFloat, FormsSignsAndRest) {
  struct {
    const char* text;
    int adjustment;
    double value;
    std::size_t rest;
  } cases[] = {
      {"0.1", 0, 0.1, 0},
      {"2.2250738585072011e-308", 0, 2.2250738585072011e-308, 0},
      {"2.2250738585072012e-308", 0, 2.2250738585072012e-308, 0},
      {"1e309", 0, inf, 0},
      {"-1e309", 0, -inf, 0},
      {"1e-400", 0, 0.0, 0},
      {"-1e-400", 0, 0.0, 0},
      {"1.#INF", 0, inf, 0},
      {"-1.#inf", 0, -inf, 0},
      {"+2.#Inf", 0, inf, 0},
      {"001.#INF", 0, inf, 0},
      {"125", -2, 1.25, 0},
      {"50", -2, 0.5, 0},
      {"1e-320", -2, 1e-322, 0},
      {"12.5abc", 0, 12.5, 3},
      {"1.", 0, 1.0, 0},
      {".5", 0, 0.5, 0},
      {"-.5", 0, -0.5, 0},
      {"+7", 0, 7.0, 0},
      {"1E5", 0, 1e5, 0},
      {"1.5E-3", 0, 1.5e-3, 0},
      {"1e", 0, 1.0, 1},     // an exponent needs a digit
      {"1e+", 0, 1.0, 2},
      {"2e5x", 0, 2e5, 1},   // reading stops at the first byte that is no digit
      {"1.#IN", 0, 1.0, 3},
      {"0.#INF", 0, 0.0, 4},
      {".", 0, 0.0, 1},      // no digit at all: nothing read
      {"-", 0, 0.0, 1},
      {"", 0, 0.0, 0},
      {"e5", 0, 0.0, 2},
      {"000", 0, 0.0, 0},
      {"0e999999999999999999999999", 0, 0.0, 0},
      {"1e999999999999999999999999", 0, inf, 0},
      {"1e-999999999999999999999999", 0, 0.0, 0},
      {"-1e-99999999999999999999999999999999999999999", 0, 0.0, 0},
      {"123456789012345678901234567890123456789012345678901234567890", 0,
       1.2345678901234568e59, 0},
      {"0.000000000000000000000000000000000000000000000000000001e54", 0, 1.0, 0},
  };
  for (auto& c : cases) {
    auto r = sysrt::text_to_float(c.text, c.adjustment);
    EXPECT_EQ(bits_of(r.value), bits_of(c.value)) << c.text << " gave " << r.value;
    EXPECT_EQ(r.rest, c.rest) << c.text;
  }
  EXPECT_EQ(bits_of(sysrt::text_to_float("-0.0", 0).value), 0u);
  EXPECT_EQ(bits_of(sysrt::text_to_float("1.#NaN", 0).value), 0x7FF8000000000000u);
  EXPECT_EQ(bits_of(sysrt::text_to_float("-1.#nan", 0).value), 0x7FF8000000000000u);
}

TEST(TextToFloat, VeryLongDigitStringsRoundCorrectly) {
  // The halfway point between 1 and the next double, then a nonzero digit far beyond the kept
  // digits: it must round up, while the halfway point alone rounds to even (down).
  std::string half = "1.00000000000000011102230246251565404236316680908203125";
  EXPECT_EQ(sysrt::text_to_float(half, 0).value, 1.0);
  std::string above = half + std::string(2000, '0') + "1";
  EXPECT_EQ(sysrt::text_to_float(above, 0).value, std::nextafter(1.0, 2.0));
  std::string zeros = half + std::string(2000, '0');
  EXPECT_EQ(sysrt::text_to_float(zeros, 0).value, 1.0);
  std::string big = std::string(5000, '9') + "e-4990";
  EXPECT_EQ(sysrt::text_to_float(big, 0).value, 1e10);
}

/*
 * Property test: Python's repr gives the shortest correctly rounded digits, '%.*e' the capped
 * ones, '%.*g' the formed kinds and float() the correctly rounded reading. Every molded text must
 * also read back to its double.
 */
TEST(FloatTextProperty, AgreesWithPython) {
  std::string cases =
      kaz::testing::run_python(kaz::testing::source_path("tests/unit/runtime/float_cases.py") + " 100000");
  std::istringstream in(cases);
  std::string kind;
  std::size_t checked = 0, failures = 0;
  auto fail = [&](const std::string& what) {
    if (++failures <= 20) ADD_FAILURE() << what;
  };
  while (in >> kind) {
    ++checked;
    if (kind == "M") {
      std::string hex, text;
      in >> hex >> text;
      double v = from_bits(std::stoull(hex, nullptr, 16));
      std::string got = form(v, 0, true);
      if (got != text) fail("mold of " + hex + ": " + got + " instead of " + text);
      auto back = sysrt::text_to_float(got, 0);
      double expect = v == 0 ? 0.0 : v;
      if (back.rest != 0 || bits_of(back.value) != bits_of(expect))
        fail("reading back " + got + " gave another double");
    } else if (kind == "R") {
      std::string hex, digits;
      int precision, decpt;
      in >> hex >> precision >> digits >> decpt;
      auto d = sysrt::float_to_digits(from_bits(std::stoull(hex, nullptr, 16)), precision, false);
      if (d.digits != digits || d.decpt != decpt)
        fail("digits of " + hex + " at " + std::to_string(precision) + ": " + d.digits + " " +
             std::to_string(d.decpt) + " instead of " + digits + " " + std::to_string(decpt));
    } else if (kind == "G") {
      std::string hex, text;
      int k;
      in >> hex >> k >> text;
      std::string got =
          kind_text(from_bits(std::stoull(hex, nullptr, 16)), float_::text_kind(k), false);
      if (got != text) fail("kind " + std::to_string(k) + " of " + hex + ": " + got);
    } else if (kind == "T" || kind == "P") {
      std::string text, hex;
      in >> text >> hex;
      double expect = from_bits(std::stoull(hex, nullptr, 16));
      if (expect == 0) expect = 0.0;  // a negative text that reads as zero gives +0.0
      auto r = sysrt::text_to_float(text, kind == "P" ? -2 : 0);
      if (r.rest != 0 || bits_of(r.value) != bits_of(expect))
        fail(kind + " " + text + " read as " + std::to_string(r.value));
    } else {
      fail("unknown case kind " + kind);
      break;
    }
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_GE(checked, 200000u);
}

}  // namespace
