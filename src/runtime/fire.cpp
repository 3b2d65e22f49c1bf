#include "runtime/fire.h"


namespace kaz {

namespace {

const err_info catalogue[] = {
#define ERROR_CATEGORY(index, cname, word, display)
#define ERROR(cat, id, code, word, tmpl) {code, nullptr, nullptr, word, tmpl},
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

struct category_names {
  const char* word;
  const char* display;
};
const category_names categories[] = {
#define ERROR_CATEGORY(index, cname, word, display) {word, display},
#define ERROR(cat, id, code, word, tmpl)
#include "runtime/errors.def"
#undef ERROR
#undef ERROR_CATEGORY
};

}  // namespace

const err_info& error_info(err e) {
  static err_info table[sizeof catalogue / sizeof catalogue[0]];
  static bool filled = false;
  if (!filled) {
    for (unsigned i = 0; i < sizeof catalogue / sizeof catalogue[0]; ++i) {
      table[i] = catalogue[i];
      table[i].category = categories[catalogue[i].code / 100].word;
      table[i].display = categories[catalogue[i].code / 100].display;
    }
    filled = true;
  }
  return table[static_cast<unsigned>(e)];
}

namespace {
error_raiser raiser = nullptr;
}

void set_error_raiser(error_raiser r) { raiser = r; }

void fire(err e, const cell* arg1, const cell* arg2, const cell* arg3) {
  if (raiser) raiser(e, arg1, arg2, arg3);  // does not return
  throw language_error(e);
}

}  // namespace kaz
