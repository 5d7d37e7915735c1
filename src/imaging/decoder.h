// The decoder process's side: it reads one request, loads and fits the
// picture and answers the show.
#pragma once

#include "imaging/protocol.h"

namespace vm {

// Loads and fits in this process: what the decoder process runs, on the
// file handed to it as `fd` when that is not -1.
DecodedPicture DecodeInProcess(const DecodeRequest& request, int fd = -1);

// The decoder process: reads one request from the show, decodes the file
// handed to it, answers.
int DecoderMain(int argc, char** argv);

} // namespace vm
