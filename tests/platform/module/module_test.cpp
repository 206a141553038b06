// The program's own handle and the built-in libraries found by name at run time.
#include "platform/module/module.h"

#include "platform/audio/dsound_entry.h"

#include <gtest/gtest.h>

namespace {

TEST(Module, TheProgramsOwnHandleIsNonZeroAndStable) {
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_NE(self, 0);
  EXPECT_EQ(GetModuleHandleA(nullptr), self);
  EXPECT_EQ(GetModuleHandleA("NOSUCH.DLL"), 0);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Module, TheAudioLibraryIsFoundByNameAndCountsItsReferences) {
  ASSERT_EQ(module_reference_count("DSOUND.DLL"), 0);
  EXPECT_EQ(GetModuleHandleA("DSOUND.DLL"), 0);  // not loaded yet
  HMODULE first = LoadLibraryA("DSOUND.DLL");
  ASSERT_NE(first, 0);
  HMODULE second = LoadLibraryA("dsound.dll");
  EXPECT_EQ(second, first);
  EXPECT_EQ(LoadLibraryA("DSound"), first);  // no extension means ".DLL"
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 3);
  EXPECT_EQ(GetModuleHandleA("DSOUND.DLL"), first);
  EXPECT_NE(first, GetModuleHandleA(nullptr));

  FARPROC entry = GetProcAddress(first, "DirectSoundCreate");
  EXPECT_EQ(entry, reinterpret_cast<FARPROC>(&DirectSoundCreate));
  EXPECT_EQ(GetProcAddress(first, "directsoundcreate"), nullptr);  // entry names are exact
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(first, "DirectSoundCreate8"), nullptr);
  EXPECT_EQ(GetProcAddress(first, nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(first, reinterpret_cast<const char*>(1)), nullptr);  // by ordinal
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "DirectSoundCreate"), nullptr);

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 1);
  EXPECT_NE(GetProcAddress(first, "DirectSoundCreate"), nullptr);
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(module_reference_count("DSOUND.DLL"), 0);
  // Unloaded: its entry points and further frees are refused.
  EXPECT_EQ(GetProcAddress(first, "DirectSoundCreate"), nullptr);
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetModuleHandleA("DSOUND.DLL"), 0);
}

TEST(Module, UnknownNamesAndHandlesAreRefused) {
  EXPECT_EQ(LoadLibraryA(nullptr), 0);
  EXPECT_EQ(LoadLibraryA("KERNEL32.DLL"), 0);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA("DSOUND.DLL.DLL"), 0);
  EXPECT_EQ(LoadLibraryA(""), 0);
  EXPECT_EQ(GetProcAddress(0, "DirectSoundCreate"), nullptr);
  EXPECT_EQ(GetProcAddress(12345, "DirectSoundCreate"), nullptr);
  EXPECT_FALSE(FreeLibrary(0));
  EXPECT_FALSE(FreeLibrary(GetModuleHandleA(nullptr)));
  EXPECT_EQ(module_reference_count("NOSUCH.DLL"), 0);
}

}  // namespace
