// The decoder process's side: it reads one request, loads and fits the
// picture and answers the show.
#pragma once

#include "imaging/protocol.h"

namespace vm {

// Loads and fits in this process: what the decoder process runs.
DecodedPicture DecodeInProcess(const DecodeRequest& request);

// The decoder process: reads one request from stdin, answers on stdout.
int DecoderMain(int argc, char** argv);

} // namespace vm
