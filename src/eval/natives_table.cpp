// The natives table: the entries that exist, at their fixed indexes.
#include "core/function.h"
#include "eval/natives.h"

namespace kaz::natives {

void init() {
  struct row {
    uint32_t index;
    native_entry entry;
  };
  static const row rows[] = {
      {1, if_},        {2, unless},   {3, either},    {4, any},       {5, all},
      {6, while_},     {7, until},    {8, loop},      {9, repeat},    {10, forever},
      {11, foreach},   {12, forall},  {13, remove_each}, {14, func},  {15, function},
      {16, does},      {17, has},     {18, switch_},  {19, case_},    {20, do_},
      {21, get},       {22, set},     {35, reduce},   {36, compose},  {38, bind},
      {39, in},        {69, value_q}, {70, try_},     {77, break_},   {78, continue_},
      {79, exit_},     {80, return_}, {81, throw_},   {82, catch_},   {88, unset},
      {92, context_q}, {68, construct}, {25, equal_q}, {26, not_equal_q}, {27, strict_equal_q},
      {28, lesser_q},  {29, greater_q}, {30, lesser_or_equal_q}, {31, greater_or_equal_q},
      {32, same_q},    {33, not_},    {34, type_q},  {23, print},   {24, prin},
      {107, apply},
      {49, negative_q}, {50, positive_q}, {51, max}, {52, min}, {97, sign_q}, {100, zero_q},
      {62, nan_q},     {53, shift},   {54, to_hex},   {55, sine},     {56, cosine},
      {57, tangent},   {58, arcsine}, {59, arccosine}, {60, arctangent}, {61, arctangent2},
      {63, log_2},     {64, log_10},  {65, log_e},    {66, exp},      {67, square_root},
      {73, as_pair},   {74, as_point2d}, {75, as_point3d},
      {40, parse},
      {41, union_},    {42, intersect}, {43, unique},  {44, difference}, {45, exclude},
      {46, complement_q}, {47, dehex}, {48, enhex},   {71, uppercase}, {72, lowercase},
      {83, extend},    {84, debase},  {89, new_line}, {90, new_line_q}, {91, enbase},
      {98, as},        {76, as_money},
      {37, stats},     {105, recycle}, {96, now},     {86, wait},     {94, get_env},
      {93, set_env},   {95, list_env}, {85, to_local_file}, {101, size_q}, {102, browse},
      {87, checksum},  {103, compress}, {104, decompress}, {106, transcode},
      {99, call},
  };
  for (const row& r : rows) kaz::function::register_native(r.index, r.entry);
}

}  // namespace kaz::natives
