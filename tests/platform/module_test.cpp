#include "platform/module.h"

#include <gtest/gtest.h>

using namespace mivora::platform;

TEST(Module, DllSuffixMapsToThisPlatformsModulesInAnyCase) {
  const std::string dir = ModuleDirectory();
  EXPECT_EQ(ModuleFilePath(u"InputMedia.dll"), dir + "/InputMedia.so");
  EXPECT_EQ(ModuleFilePath(u"InputMedia.DLL"), dir + "/InputMedia.so");
  EXPECT_EQ(ModuleFilePath(u"GetFileName.Dll"), dir + "/GetFileName.so");
}

TEST(Module, LoadsBesideTheProgramAndFindsEntryPointsByExactName) {
  ModuleHandle module = LoadModule(u"InputMedia.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetEntryPoint(module, u"InputMediaOpen"), nullptr);
  EXPECT_EQ(GetEntryPoint(module, u"inputmediaopen"), nullptr);
  EXPECT_EQ(GetEntryPoint(module, u"InputMediaOpenX"), nullptr);
  FreeModule(module);
}

TEST(Module, MissingModuleIsACleanFailureWithAReason) {
  EXPECT_EQ(LoadModule(u"NoSuchModule.dll"), nullptr);
  EXPECT_FALSE(LastErrorText().empty());
  EXPECT_EQ(LoadModule(u"inputmedia.dll"), nullptr);  // the base name keeps its case
  EXPECT_EQ(GetEntryPoint(nullptr, u"InputMediaOpen"), nullptr);
  FreeModule(nullptr);
}
