#include "tools/decode/display_output.h"

#include <cstring>

namespace mivora {

struct DisplayOutput::State {};

bool ParseDisplayOption(int& i, int argc, char** argv, DisplayOutputOptions& options) {
  (void)i;
  (void)argc;
  (void)argv;
  (void)options;
  return false;
}

DisplayOutput::DisplayOutput(const DisplayOutputOptions& options) : options_(options) {}
DisplayOutput::~DisplayOutput() = default;
bool DisplayOutput::Begin(int, int, int) {
  return true;
}
bool DisplayOutput::AddFrame(const DecodedFrame&, int, int) {
  return true;
}
bool DisplayOutput::Finish() {
  return true;
}

}  // namespace mivora
