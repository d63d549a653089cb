// Test fixture: the AVI reader over the memory-backed fake input module.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "input/avi_reader.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/input/avi_builder.h"

namespace mivora::test {

class FakeSourceTest : public ::testing::Test {
 protected:
  using SetDataFn = void (*)(const std::uint8_t*, std::int32_t);
  using SetIntFn = void (*)(std::int32_t);
  using GetIntFn = std::int32_t (*)();
  using OpenArgumentFn = std::int32_t (*)(std::int32_t, std::int32_t);

  void SetUp() override { UseModuleFolder("fake_input"); }

  void TearDown() override {
    if (source.Close != nullptr) source.Close();
    SetAviReaderInput(nullptr, nullptr, nullptr, nullptr);
    if (module_ != nullptr) platform::FreeModule(module_);
    SetAviReaderFrameCapacity(0);
    platform::SetModuleDirectory("");
  }

  // Points module loading at a folder of fake modules and holds the named one loaded, so its
  // state survives the reader's loads and unloads.
  void UseModuleFolder(const std::string& folder, const char16_t* name = u"InputMedia.dll") {
    if (module_ != nullptr) platform::FreeModule(module_);
    platform::SetModuleDirectory(platform::ProgramDirectory() + "/" + folder);
    SetAviReaderReopenWait(0);
    InitializeAviReader(&source);
    module_ = platform::LoadModule(name);
    ASSERT_NE(module_, nullptr) << platform::ToUtf8(name);
    setData_ = platform::GetEntryPointAs<SetDataFn>(module_, u"FakeInputSetData");
    refuseOpen = platform::GetEntryPointAs<SetIntFn>(module_, u"FakeInputRefuseOpen");
    limitReadable = platform::GetEntryPointAs<SetIntFn>(module_, u"FakeInputLimitReadable");
    reportLength = platform::GetEntryPointAs<SetIntFn>(module_, u"FakeInputReportLength");
    openCalls = platform::GetEntryPointAs<GetIntFn>(module_, u"FakeInputOpenCalls");
    closeCalls = platform::GetEntryPointAs<GetIntFn>(module_, u"FakeInputCloseCalls");
    isOpen = platform::GetEntryPointAs<GetIntFn>(module_, u"FakeInputIsOpen");
    openArgument = platform::GetEntryPointAs<OpenArgumentFn>(module_, u"FakeInputOpenArgument");
    ASSERT_NE(setData_, nullptr);
  }

  void SetData(const Bytes& file) {
    data = file;
    setData_(data.data(), static_cast<std::int32_t>(data.size()));
  }

  // Opens the bytes through the reader; null when Open returned 0.
  MediaInfo* OpenBytes(const Bytes& file, std::int32_t mode = 0, std::int32_t cache = 0) {
    SetData(file);
    MediaInfo* info = nullptr;
    return source.Open(u"clip.avi", mode, cache, &info) != 0 ? info : nullptr;
  }

  Bytes ReadFrame() {
    Bytes buffer(kDefaultFrameCapacity + 16, 0xEE);
    const std::int32_t n = source.ReadVideoFrame(buffer.data(), 0);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
  }

  Bytes ReadAudio(std::int32_t count) {
    Bytes buffer(static_cast<std::size_t>(count > 0 ? count : 0) + 16, 0xEE);
    const std::int32_t n = source.ReadAudio(buffer.data(), count);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
  }

  MediaSource source;
  Bytes data;
  SetIntFn refuseOpen = nullptr;
  SetIntFn limitReadable = nullptr;
  SetIntFn reportLength = nullptr;
  GetIntFn openCalls = nullptr;
  GetIntFn closeCalls = nullptr;
  GetIntFn isOpen = nullptr;
  OpenArgumentFn openArgument = nullptr;

 private:
  platform::ModuleHandle module_ = nullptr;
  SetDataFn setData_ = nullptr;
};

}  // namespace mivora::test
