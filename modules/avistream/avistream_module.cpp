// "avistream.dll": the streaming AVI reader as a reader module.
#include "input/media_source.h"
#include "modules/avistream/stream_source.h"

extern "C" __attribute__((visibility("default"))) void InitializeReader(
    mivora::MediaSource* table) {
  mivora::avistream::FillTable(table);
}
