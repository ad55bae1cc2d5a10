#include "platform/win32/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/base/error.h"
#include "tests/cli/run_program.h"

namespace quillmer {
namespace {

using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = (dir_ / "reg" / "registry").string();
    ::setenv("QUILLMER_REGISTRY", file_.c_str(), 1);
    ::setenv("QUILLMER_ACP", "936", 1);
  }
  void TearDown() override {
    SetRegistryFaultHook({});
    ::unsetenv("QUILLMER_REGISTRY");
    ::unsetenv("QUILLMER_ACP");
  }

  static void SetString(HKEY k, std::string_view name, const std::string& text) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueEx(k, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)));
  }
  static std::string Query(HKEY k, std::string_view name, DWORD* type = nullptr) {
    std::string data;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(k, name, type, &data));
    return data;
  }

  TempDir dir_;
  std::string file_;
};

TEST_F(RegistryTest, CreatesMissingParentsAndFindsKeysWithoutRegardToCase) {
  RegKey k;
  DWORD disp = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE,
                                          "\\Software\\Microsoft\\Internet Explorer\\Toolbar\\",
                                          KEY_ALL_ACCESS, k.put(), &disp));
  EXPECT_EQ(REG_CREATED_NEW_KEY, disp);
  SetString(k.get(), "{5E2B9C41-7A1D-4F36-9C81-2D47B6A0E310}", "Quillmer");

  RegKey again;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\microsoft", KEY_READ,
                                          again.put(), &disp));
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disp);

  RegKey open;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software\\MICROSOFT\\internet explorer\\toolbar", 0,
                         KEY_READ, open.put()));
  DWORD type = 0;
  EXPECT_EQ(std::string("Quillmer", 9),
            Query(open.get(), "{5e2b9c41-7a1d-4f36-9c81-2d47b6a0e310}", &type));
  EXPECT_EQ(REG_SZ, type);

  RegKey none;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, none.put()));
  EXPECT_FALSE(none);
}

TEST_F(RegistryTest, ValuesOfEachTypeSurviveAnotherProcessReadingTheFile) {
  {
    RegKey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER,
                                            "Software\\Microsoft\\Internet Explorer\\MenuExt\\"
                                            "\xB7\xB1\xBC\xF2",  // 繁简 in GBK
                                            KEY_ALL_ACCESS, k.put()));
    SetString(k.get(), "", "res://C:\\a \"b\"/RT_HTML/PageToTrad");
    const unsigned char context[] = {1, 0, 0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(k.get(), "Context", REG_BINARY, context, 4));
    DWORD d = 0x12345678;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(k.get(), "Count", REG_DWORD, &d, 4));
    // Text without its zero, or with a line break, must still read back exactly.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(k.get(), "raw", REG_SZ, "a\r\nb", 4));
    const unsigned char empty = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(k.get(), "none", REG_BINARY, &empty, 0));
  }
  // The file is text a person can read, in UTF-8.
  std::string text = ReadAll(file_);
  EXPECT_NE(std::string::npos, text.find("[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
                                         "Explorer\\MenuExt\\繁简]\n"
                                         "@=\"res://C:\\\\a \\\"b\\\"/RT_HTML/PageToTrad\"\n"
                                         "\"Context\"=hex:01,00,00,00\n"
                                         "\"Count\"=dword:12345678\n"))
      << text;

  // Another process (here: the same text copied to a new file) reads it all back.
  std::string copy = (dir_ / "copy").string();
  WriteAll(copy, text);
  ::setenv("QUILLMER_REGISTRY", copy.c_str(), 1);
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyEx(HKEY_CURRENT_USER,
                         "Software\\Microsoft\\Internet Explorer\\MenuExt\\\xB7\xB1\xBC\xF2", 0,
                         KEY_READ, k.put()));
  std::string url = "res://C:\\a \"b\"/RT_HTML/PageToTrad";
  EXPECT_EQ(url + '\0', Query(k.get(), ""));
  DWORD type = 0;
  EXPECT_EQ(std::string("\x01\0\0\0", 4), Query(k.get(), "CONTEXT", &type));
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(std::string("\x78\x56\x34\x12", 4), Query(k.get(), "count", &type));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ("a\r\nb", Query(k.get(), "raw", &type));
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ("", Query(k.get(), "none"));
  EXPECT_EQ(ReadAll(copy), text) << "reading must not rewrite the file";
}

TEST_F(RegistryTest, QueryFollowsThePlatformBufferContract) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID", KEY_ALL_ACCESS, k.put()));
  SetString(k.get(), "v", "Apartment");
  DWORD size = 0, type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(k.get(), "v", &type, nullptr, &size));
  EXPECT_EQ(10u, size);
  char small[4];
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueEx(k.get(), "v", &type, small, &size));
  EXPECT_EQ(10u, size);
  char buf[16];
  size = sizeof buf;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(k.get(), "v", &type, buf, &size));
  EXPECT_STREQ("Apartment", buf);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(k.get(), "w", &type, buf, &size));
  // Overwriting keeps one value; deleting it leaves none.
  SetString(k.get(), "V", "Both");
  EXPECT_EQ(std::string("Both", 5), Query(k.get(), "v"));
  std::string name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumValue(k.get(), 0, &name));
  EXPECT_EQ("v", name) << "the name keeps the case it was made with";
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValue(k.get(), 1, &name));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValue(k.get(), "V"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValue(k.get(), "V"));
}

TEST_F(RegistryTest, DeleteKeyRefusesSubkeysWhileDeleteTreeTakesThemAll) {
  RegKey leaf;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32",
                                          KEY_ALL_ACCESS, leaf.put()));
  RegKey sibling;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{Y}", KEY_ALL_ACCESS, sibling.put()));

  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{X}"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CLASSES_ROOT, "clsid\\{x}\\inprocserver32"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32"));
  // A handle to a deleted key stays a handle, but its key is gone.
  EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueEx(leaf.get(), "", REG_SZ, "x", 2));

  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{X}\\a\\b\\c", KEY_ALL_ACCESS, leaf.put()));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"));

  RegKey clsid;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, clsid.put()));
  std::string name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyEx(clsid.get(), 0, &name));
  EXPECT_EQ("{Y}", name);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyEx(clsid.get(), 1, &name));
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrder) {
  for (const char* n : {"b", "C", "a"}) {
    RegKey k;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CURRENT_USER, std::string("K\\") + n, KEY_WRITE, k.put()));
  }
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, k.put()));
  std::string names, name;
  for (DWORD i = 0; RegEnumKeyEx(k.get(), i, &name) == ERROR_SUCCESS; ++i) names += name;
  EXPECT_EQ("abC", names);
}

TEST_F(RegistryTest, HandlesAreCheckedAndReadOnlyHandlesCannotWrite) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_READ, k.put()));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueEx(k.get(), "x", REG_SZ, "x", 2));
  HKEY bogus = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(bogus));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueEx(bogus, "x", REG_SZ, "x", 2));
  HKEY raw = k.release();
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(raw));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(raw));
  // A name with a line break could not be written to the file.
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegCreateKeyEx(HKEY_CURRENT_USER, "K\\a\nb", KEY_WRITE, k.put()));
}

TEST_F(RegistryTest, ChangesOfAnotherProcessAreSeenAndKept) {
  RegKey mine;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "Mine", KEY_ALL_ACCESS, mine.put()));
  // Another process replaces the file meanwhile.
  std::string text = ReadAll(file_);
  text += "[HKEY_CURRENT_USER\\Theirs]\n@=\"t\"\n";
  WriteAll(file_ + ".new", text);
  std::filesystem::rename(file_ + ".new", file_);

  SetString(mine.get(), "v", "m");
  RegKey theirs;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, "Theirs", 0, KEY_READ, theirs.put()));
  EXPECT_EQ(std::string("t", 2), Query(theirs.get(), ""));
}

TEST_F(RegistryTest, FaultsFailTheCallAndLeaveTheFileAlone) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, k.put()));
  std::string before = ReadAll(file_);
  std::string seen;
  SetRegistryFaultHook([&](RegOp op, std::string_view path) {
    seen = std::string(path);
    return op == RegOp::Write ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  });
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueEx(k.get(), "x", REG_SZ, "x", 2));
  EXPECT_EQ("HKEY_CURRENT_USER\\K", seen);
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegCreateKeyEx(HKEY_CURRENT_USER, "K\\New", KEY_ALL_ACCESS, RegKey().put()));
  EXPECT_EQ(before, ReadAll(file_));

  SetRegistryFaultHook([](RegOp op, std::string_view) {
    return op == RegOp::Open ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  });
  RegKey opened;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, opened.put()));
  EXPECT_FALSE(opened);
}

TEST_F(RegistryTest, AnUnwritableStoreFailsTheWriteAndKeepsTheOldContent) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes to read-only directories";
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, k.put()));
  std::string before = ReadAll(file_);
  std::filesystem::permissions(
      dir_ / "reg", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueEx(k.get(), "x", REG_SZ, "x", 2));
  std::filesystem::permissions(dir_ / "reg", std::filesystem::perms::owner_all);
  EXPECT_EQ(before, ReadAll(file_));
  DWORD type;
  std::string data;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(k.get(), "x", &type, &data));
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenFailsTheCallAndForgetsTheChange) {
  // Nobody, not even root, can make files here.
  ::setenv("QUILLMER_REGISTRY", "/proc/self/quillmer/registry", 1);
  RegKey k;
  LONG rc = RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, k.put());
  EXPECT_TRUE(rc == ERROR_ACCESS_DENIED || rc == ERROR_WRITE_FAULT) << rc;
  EXPECT_FALSE(k);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, k.put()));
}

TEST_F(RegistryTest, ADamagedFileIsReportedAndNeverOverwritten) {
  std::filesystem::create_directories(dir_ / "reg");
  std::string damaged = "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=\"unterminated\n";
  WriteAll(file_, damaged);
  RegKey k;
  EXPECT_EQ(ERROR_BADDB, RegOpenKeyEx(HKEY_CURRENT_USER, "K", 0, KEY_READ, k.put()));
  EXPECT_EQ(ERROR_BADDB, RegCreateKeyEx(HKEY_CURRENT_USER, "L", KEY_ALL_ACCESS, k.put()));
  EXPECT_EQ(damaged, ReadAll(file_));
  try {
    ExportRegistry();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("damaged at line 4")) << e.what();
  }
}

TEST_F(RegistryTest, ExportOfOneKeyAndTheFileLocation) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Q\\Sub", KEY_ALL_ACCESS, k.put()));
  SetString(k.get(), "n", "v");
  EXPECT_EQ(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Q]\n\n[HKEY_CURRENT_USER\\Software\\Q\\Sub]\n"
      "\"n\"=\"v\"\n\n",
      ExportRegistry("hkcu\\software\\q"));
  EXPECT_THROW(ExportRegistry("HKCU\\Nothing"), Error);

  ::unsetenv("QUILLMER_REGISTRY");
  ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
  EXPECT_EQ("/x/conf/quillmer/registry", RegistryFilePath());
  ::unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string saved = home ? home : "";
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ("/home/u/.config/quillmer/registry", RegistryFilePath());
  if (home)
    ::setenv("HOME", saved.c_str(), 1);
  else
    ::unsetenv("HOME");
}

TEST_F(RegistryTest, ATransactionIsWrittenOnceOnCommitOrNotAtAll) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, k.put()));
  const std::string before = ReadAll(file_);
  {
    RegTransaction change;
    SetString(k.get(), "a", "1");
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CURRENT_USER, "K\\Sub", KEY_ALL_ACCESS, RegKey().put()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, "K\\Sub"));
    EXPECT_EQ("1", Query(k.get(), "a").substr(0, 1));  // its own changes are seen
    EXPECT_EQ(before, ReadAll(file_));                 // nobody else's
  }
  // Abandoned: the store is what the file says.
  EXPECT_EQ(before, ReadAll(file_));
  DWORD type;
  std::string data;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(k.get(), "a", &type, &data));
  {
    RegTransaction change;
    SetString(k.get(), "a", "1");
    SetString(k.get(), "b", "2");
    change.Commit();
  }
  EXPECT_NE(std::string::npos, ReadAll(file_).find("\"a\"=\"1\"\n\"b\"=\"2\""));
  // Nothing changed, nothing written: a store nobody may write is fine then.
  std::filesystem::permissions(file_, std::filesystem::perms::owner_read);
  RegTransaction().Commit();
}

TEST_F(RegistryTest, AReadOnlyFileIsNeverReplaced) {
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, k.put()));
  const std::string before = ReadAll(file_);
  ::chmod(file_.c_str(), 0444);
  struct stat was {};
  ::stat(file_.c_str(), &was);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueEx(k.get(), "x", REG_SZ, "x", 2));
  {
    RegTransaction change;
    SetString(k.get(), "x", "x");
    try {
      change.Commit();
      ADD_FAILURE() << "committed";
    } catch (const Error& e) {
      EXPECT_NE(std::string::npos, std::string(e.what()).find(file_)) << e.what();
    }
  }
  struct stat now {};
  ::stat(file_.c_str(), &now);
  EXPECT_EQ(was.st_ino, now.st_ino);
  EXPECT_EQ(before, ReadAll(file_));
  DWORD type;
  std::string data;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueEx(k.get(), "x", &type, &data));
}

TEST_F(RegistryTest, ATransactionOnADamagedOrUnreachableStoreDoesNotStart) {
  std::filesystem::create_directories(dir_ / "reg");
  WriteAll(file_, "REGEDIT4\n\n[HKEY_NOWHERE]\n");
  try {
    RegTransaction change;
    ADD_FAILURE() << "started";
  } catch (const Error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("damaged at line 3")) << e.what();
  }
  ::setenv("QUILLMER_REGISTRY", "/proc/self/quillmer/registry", 1);
  EXPECT_THROW(RegTransaction(), Error);
}

TEST(RegistryCommand, PrintsTheStore) {
  TempDir dir;
  std::string file = (dir / "registry").string();
  WriteAll(file, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n@=\"Quillmer_Helper\"\n");
  auto r = testing::RunQuillmer({"registry"}, "", {"QUILLMER_REGISTRY=" + file});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(
      "REGEDIT4\n\n[HKEY_CLASSES_ROOT]\n\n[HKEY_CURRENT_USER]\n\n[HKEY_LOCAL_MACHINE]\n\n"
      "[HKEY_LOCAL_MACHINE\\Software]\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n@=\"Quillmer_"
      "Helper\"\n\n",
      r.out);

  r = testing::RunQuillmer({"registry", "--path"}, "", {"QUILLMER_REGISTRY=" + file});
  EXPECT_EQ(file + "\n", r.out);
  r = testing::RunQuillmer({"registry", "HKLM\\None"}, "", {"QUILLMER_REGISTRY=" + file});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("quillmer: no such key: HKLM\\None\n", r.err);
  r = testing::RunQuillmer({"registry", "--bogus"}, "", {"QUILLMER_REGISTRY=" + file});
  EXPECT_EQ(2, r.status);
}

}  // namespace
}  // namespace quillmer
