#include "datatypes/text_loader.h"
#include "loader/lexer_number_helpers.h"
#include "loader/lexer_transcode.h"

namespace kaz::lexer {

void install_text_loader() {
  text_loader::installed = {scan_utf8,    transcode,     load_text_block,
                            scan_integer, text_to_float, text_to_money};
}

}  // namespace kaz::lexer
