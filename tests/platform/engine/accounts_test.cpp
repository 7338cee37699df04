// Accounts of secured databases: passwords are kept only as salted,
// memory-hard hashes, credentials that could never log in are refused when
// set, and only a handle holding an account's credentials may change the
// accounts of a secured database.
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "engine_fixture.h"

using namespace enginetest;

namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0u;
}

}  // namespace

class AccountTest : public EngineTest {
 protected:
  int32_t OpenAs(const char* user, const char* password, uint32_t& d, uint32_t session = 0) {
    d = 0;
    return RareOpenDatabase(session ? session : S, ("\t" + dbDir).c_str(), &d, 0, user, password);
  }
};

TEST_F(AccountTest, PasswordsNeverReachTheFileOrItsLog) {
  const std::string file = dbDir + "/engine.rdb";
  const char* const passwords[] = {"Pw-ann-S3cret-7731", "Pw-bob-Other-4402", "Pw-ann-Changed-9910"};
  ASSERT_EQ(DrmEngineSetUser(S, D, "ann", passwords[0]), 0) << ExtErr(-1);
  ASSERT_EQ(DrmEngineSetUser(S, D, "bob", passwords[1]), 0) << ExtErr(-1);
  uint32_t d = 0;
  ASSERT_EQ(OpenAs("ann", passwords[0], d), 0);
  ASSERT_EQ(DrmEngineSetUser(S, d, "ann", passwords[2]), 0) << ExtErr(-1);
  EXPECT_EQ(OpenAs("ann", passwords[0], d), DRM_ERR_INVALID_PASSWORD);
  ASSERT_EQ(OpenAs("ann", passwords[2], d), 0);
  ASSERT_EQ(OpenAs("bob", passwords[1], d), 0);

  auto expectNoPassword = [&](const std::string& when) {
    for (const std::string& f : {file, file + "-wal"}) {
      std::string bytes = Bytes(f);
      for (const char* pw : passwords) EXPECT_EQ(bytes.find(pw), std::string::npos) << when << ": " << f;
    }
  };
  ASSERT_TRUE(std::filesystem::exists(file + "-wal"));
  EXPECT_GT(std::filesystem::file_size(file + "-wal"), 0u);
  expectNoPassword("while open");
  for (const std::string& f : {file, file + "-wal", file + "-shm", file + "-open"})
    EXPECT_EQ(ModeOf(f), 0600u) << f;
  RareEndSession(S);  // the last connection checkpoints the log into the file
  S = 0;
  expectNoPassword("after closing");
}

TEST_F(AccountTest, CredentialsThatCouldNeverLogInAreRefused) {
  EXPECT_EQ(DrmEngineSetUser(S, D, "ann___admin", "pw"), DRM_ERR_INVALID_NAME);
  EXPECT_NE(ExtErr(DRM_ERR_INVALID_NAME).find("___"), std::string::npos);
  EXPECT_EQ(DrmEngineSetUser(S, D, "ann", "pw___x"), DRM_ERR_INVALID_PARAMETER);
  EXPECT_NE(ExtErr(DRM_ERR_INVALID_PARAMETER).find("___"), std::string::npos);
  EXPECT_EQ(DrmEngineSetUser(S, D, "line\nbreak", "pw"), DRM_ERR_INVALID_NAME);
  EXPECT_EQ(DrmEngineSetUser(S, D, "", "pw"), DRM_ERR_INVALID_NAME);
  uint16_t secured = 9;
  ASSERT_EQ(RareIsDatabaseSecured(D, &secured), 0);
  EXPECT_EQ(secured, 0);  // nothing was stored

  // What is accepted logs in, with or without an administration part.
  ASSERT_EQ(DrmEngineSetUser(S, D, "ann", "p_w__x_"), 0);
  uint32_t d = 0;
  EXPECT_EQ(OpenAs("ann", "p_w__x_", d), 0);
  EXPECT_EQ(OpenAs("ann___admin", "p_w__x____secret", d), 0);
}

TEST_F(AccountTest, ChangingAccountsNeedsTheCredentialsOfAnAccount) {
  uint32_t s2 = 0, early = 0;
  ASSERT_EQ(RareBeginSession(&s2, "", "", ""), 0);
  ASSERT_EQ(OpenAs("", "", early, s2), 0);  // opened while the database had no accounts

  // The handle that makes the first account holds its credentials.
  ASSERT_EQ(DrmEngineSetUser(S, D, "ann", "a-pw"), 0);
  uint16_t secured = 0;
  ASSERT_EQ(RareIsDatabaseSecured(D, &secured), 0);
  EXPECT_EQ(secured, 1);
  ASSERT_EQ(DrmEngineSetUser(S, D, "bob", "b-pw"), 0) << ExtErr(-1907);

  // A handle without an account's credentials changes nothing.
  EXPECT_EQ(DrmEngineSetUser(s2, early, "eve", "e-pw"), DRM_ERR_ACCESS_DENIED);
  EXPECT_NE(ExtErr(DRM_ERR_ACCESS_DENIED, s2).find("account"), std::string::npos);
  EXPECT_EQ(DrmEngineSetUser(s2, early, "ann", "stolen"), DRM_ERR_ACCESS_DENIED);
  EXPECT_EQ(DrmEngineSetUser(s2, early, "ann", nullptr), DRM_ERR_ACCESS_DENIED);
  uint32_t d = 0;
  EXPECT_EQ(OpenAs("eve", "e-pw", d), DRM_ERR_INVALID_ACCOUNT);
  EXPECT_EQ(OpenAs("ann", "a-pw", d), 0);

  // Any account may change any account; one that was removed may not.
  uint32_t asBob = 0;
  ASSERT_EQ(OpenAs("bob", "b-pw", asBob, s2), 0);
  ASSERT_EQ(DrmEngineSetUser(s2, asBob, "ann", "a-new"), 0);
  EXPECT_EQ(OpenAs("ann", "a-new", d), 0);
  ASSERT_EQ(DrmEngineSetUser(s2, asBob, "bob", nullptr), 0);
  EXPECT_EQ(DrmEngineSetUser(s2, asBob, "carl", "c-pw"), DRM_ERR_ACCESS_DENIED);
  EXPECT_EQ(OpenAs("bob", "b-pw", d), DRM_ERR_INVALID_ACCOUNT);

  // Removing the last account leaves an unsecured database.
  uint32_t asAnn = 0;
  ASSERT_EQ(OpenAs("ann", "a-new", asAnn), 0);
  ASSERT_EQ(DrmEngineSetUser(S, asAnn, "ann", nullptr), 0);
  EXPECT_EQ(OpenAs("", "", d), 0);
  RareEndSession(s2);
}
