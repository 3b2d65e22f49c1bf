// The kaz executable: everything lives in kazrt; this only hands over to start-up.
#include "start/boot.h"

int main(int argc, char** argv) { return kaz::boot::main(argc, argv); }
