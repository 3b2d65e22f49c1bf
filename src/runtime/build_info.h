// What the build recorded: the source revision (empty texts when the tree was no git checkout)
// and when the executable was built.
#pragma once

namespace kaz::build_info {

extern const char* const commit;   // the commit hash
extern const char* const branch;
extern const char* const tag;      // the latest tag reachable from the commit
extern const char* const ahead;    // commits since that tag
extern const char* const date;     // the commit's date, ISO 8601
extern const char* const message;  // the commit's subject line
extern const char* const built;    // the compiler's __DATE__ " " __TIME__ (local time)

}  // namespace kaz::build_info
