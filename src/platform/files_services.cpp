// The file layer handed to the file! datatype: its I/O actions call these.
#include "datatypes/url.h"
#include "platform/files.h"

namespace kaz::files {

namespace {
void write_file(const cell* file, const cell* data, const cell* part, const cell* seek,
                bool binary, bool append, bool lines) {
  write_value(file, data, part, seek, binary, append, lines);
}
}  // namespace

void init() {
  url::services.read_path = read_path;
  url::services.write_file = write_file;
  url::services.delete_file = delete_file;
  url::services.rename_file = rename_file;
  url::services.query_file = query_file;
}

}  // namespace kaz::files
