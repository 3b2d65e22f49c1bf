// Ports for urls of any scheme: the url is split by the library's URL parser and the port made
// from the parts, through the scheme registered under its scheme word.
#pragma once

namespace kaz::url_port {

// Installs the port service of the url! datatype (start-up).
void init();

}  // namespace kaz::url_port
