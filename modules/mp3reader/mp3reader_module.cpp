// "mp3reader.dll": MP3 files as a reader module.
#include "input/media_source.h"
#include "modules/mp3reader/mp3_source.h"

extern "C" __attribute__((visibility("default"))) void InitializeReader(
    mivora::MediaSource* table) {
  mivora::mp3::FillTable(table);
}
