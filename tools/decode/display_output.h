// The display options of mivora-decode: each decoded frame is converted in the chosen output mode
// into an RGB 5-6-5 display (the handheld's 640 x 240, or the size --display-size gives), placed
// as the player places it, and written out as raw display frames, PNG files and/or one contact
// sheet.
#pragma once

#include <memory>
#include <string>

#include "decoder/decoded_frame.h"
#include "output/display_size.h"

namespace mivora {

struct DisplayOutputOptions {
  int outputType = 5;
  int brightness = 0;
  bool skipUnchanged = false;
  DisplaySize displaySize;  // handheld unless --display-size says otherwise
  std::string displayPath, pngDir, contactSheetPath;
};

// Consumes --output-type 5|7|8|9, --brightness B, --skip-unchanged, --display-size
// handheld|fit|WxH, --display OUT ("-": standard output), --png DIR and --contact-sheet FILE.png
// at argv[i], advancing i past an option's value.
// Returns false when argv[i] is none of these options (or its value is missing or invalid).
bool ParseDisplayOption(int& i, int argc, char** argv, DisplayOutputOptions& options);

class DisplayOutput {
 public:
  explicit DisplayOutput(const DisplayOutputOptions& options);
  ~DisplayOutput();
  // width, height: the video size; frameCount: frames expected (spaces the contact sheet).
  bool Begin(int width, int height, int frameCount);
  bool AddFrame(const DecodedFrame& frame, int width, int height);
  bool Finish();

 private:
  struct State;
  DisplayOutputOptions options_;
  std::unique_ptr<State> state_;
};

}  // namespace mivora
