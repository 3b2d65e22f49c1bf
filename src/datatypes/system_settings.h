// The settings of the `system` object that the scalar datatypes read: month names, the
// currency list and the number of money digits. Each lookup answers null while the system
// object or the field is absent, and the caller falls back to its built-in default.
#pragma once

#include "runtime/cell.h"

namespace kaz::system_settings {

const cell* months();          // system/locale/months
const cell* currency_list();   // system/locale/currencies/list
const cell* money_digits();    // system/options/money-digits

}  // namespace kaz::system_settings
