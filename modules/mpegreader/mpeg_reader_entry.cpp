// The exported entry point: fills the player's media source table with this reader's operations.
#include <type_traits>

#include "input/media_source.h"
#include "modules/mpegreader/mpeg_source.h"

extern "C" __attribute__((visibility("default"))) void InitializeReader(
    mivora::MediaSource* table) {
  if (table == nullptr) return;
  table->Open = &mivora::mpeg::Open;
  table->ReadAudio = &mivora::mpeg::ReadAudio;
  table->ReadVideoFrame = &mivora::mpeg::ReadVideoFrame;
  table->SeekPercent = &mivora::mpeg::SeekPercent;
  table->SyncAudioToVideo = &mivora::mpeg::SyncAudioToVideo;
  table->GetPositionPercent = &mivora::mpeg::GetPositionPercent;
  table->Close = &mivora::mpeg::Close;
  table->IsKeyFrame = &mivora::mpeg::IsKeyFrame;
}

static_assert(std::is_same_v<decltype(&InitializeReader), mivora::InitializeReaderFn>);
