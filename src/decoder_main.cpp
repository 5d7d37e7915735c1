// velmirano-decoder: decodes one picture for the show, in a process of its own.
#include "imaging/decoder.h"

int main(int argc, char** argv) { return vm::DecoderMain(argc, argv); }
