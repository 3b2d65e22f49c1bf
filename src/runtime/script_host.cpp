#include "runtime/script_host.h"

namespace kaz::testing {

script_host::script_host() = default;

// Until the interpreter runs, every case reports that it cannot be evaluated.
case_result script_host::run(const std::string& source) {
  case_result r;
  r.raised = true;
  r.error_type = "internal";
  r.error_id = "not-done";
  r.error_text = "*** Internal Error: the interpreter is not built yet";
  return r;
}

}  // namespace kaz::testing
