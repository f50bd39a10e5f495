#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "control/CacheGeneration.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "demosite/DemoCatalog.h"
#include "demosite/DemoPages.h"
#include "demosite/DemoSite.h"
#include "imaging/D3DDevice.h"
#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "infra/Platform.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "control/Control.h"
#include "support/ProgramDirectoryTest.h"
#include "support/RecordingView.h"

namespace {

// The whole default site, rendered once for every test here.
class DemoSiteTest : public ProgramDirectoryTest {
 protected:
  static void SetUpTestSuite() { catalog_ = std::make_unique<DemoCatalog>(); }
  static void TearDownTestSuite() { catalog_.reset(); }

  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    ASSERT_TRUE(site_.Start("127.0.0.1", 0));
    host_ = "127.0.0.1:" + std::to_string(site_.Port());
    OverrideServerHosts(host_, host_);
    D3DDevice::Initialize();
  }

  // Status and body of a GET on the site.
  std::pair<bool, std::string> Get(const std::string& target) {
    InternetFile file("http://" + host_ + target, session_);
    std::string body;
    char buffer[InternetFile::kBlockSize];
    while (const size_t got = file.Read(buffer)) body.append(buffer, got);
    return {file.IsOk(), body};
  }
  void GenerateOver(int start, int end) {
    platform::MakeSharedDirectory(PathOf("image"));
    WriteWholeFile(PathOf("cache_setting.ini"), "START=" + std::to_string(start) + "\nEND=" + std::to_string(end) + "\n");
    CacheGeneration(control_.Context()).Run();
  }
  // The first result row of a search for `entry`'s image file.
  std::vector<std::string> BestMatch(const DemoEntry& entry) {
    const std::string path = PathOf("query-" + entry.ExportName());
    WriteWholeFile(path, entry.bytes);
    control_.SetPath(path);
    control_.Search();
    const auto rows = view_.Rows();
    return rows.empty() ? std::vector<std::string>{} : rows.front();
  }

  static std::unique_ptr<DemoCatalog> catalog_;
  DemoSite site_{*catalog_};
  std::string host_;
  InternetSession session_{"Tintwise"};
  RecordingView view_;
  Control control_{view_};
};

std::unique_ptr<DemoCatalog> DemoSiteTest::catalog_;

TEST_F(DemoSiteTest, CatalogHoldsTheVariationsARunMustCopeWith) {
  const DemoCatalog& catalog = *catalog_;
  EXPECT_GE(catalog.Entries().size(), 280u);
  EXPECT_EQ(catalog.Find(29), nullptr);
  EXPECT_EQ(catalog.Find(10)->fileName, catalog.Find(210)->fileName);
  EXPECT_NE(catalog.Find(10)->ImagePath(), catalog.Find(210)->ImagePath());
  int formats[3] = {};
  for (const DemoEntry& entry : catalog.Entries())
    formats[entry.contentType == "image/jpeg" ? 0 : entry.contentType == "image/png" ? 1 : 2]++;
  EXPECT_GT(formats[0], 50);
  EXPECT_GT(formats[1], 50);
  EXPECT_GT(formats[2], 50);
  EXPECT_EQ(DemoCatalog(40).Find(33)->bytes, catalog.Find(33)->bytes);  // deterministic
}

TEST_F(DemoSiteTest, EveryPageParsesIntoItsEntry) {
  InternetSession session("Tintwise");
  for (const DemoEntry& entry : catalog_->Entries()) {
    const std::string page = RenderImagePage(*catalog_, entry, "h:1");
    ASSERT_GT(page.size(), 4096u) << entry.id;
    ASSERT_LE(RenderStubPage(entry).size(), 4096u) << entry.id;
    MakeCacheDirectX builder(session, std::to_string(entry.id), true);
    ASSERT_TRUE(builder.ParsePage(page)) << entry.id;
    EXPECT_EQ(builder.title, Utf8ToCp932(entry.title)) << entry.id;
    EXPECT_EQ(builder.name, Utf8ToCp932(entry.poster + "様")) << entry.id;
    EXPECT_EQ(builder.imageUrl, "http://h:1" + entry.ImagePath()) << entry.id;
    EXPECT_EQ(builder.adult, entry.adult) << entry.id;
    EXPECT_EQ(builder.good, entry.good) << entry.id;
    EXPECT_EQ(builder.bad, entry.bad) << entry.id;
  }
}

TEST_F(DemoSiteTest, ServesPagesImagesAndMissingIds) {
  const DemoEntry& shortFirst = *catalog_->Find(7);
  ASSERT_TRUE(shortFirst.shortFirstPage);
  EXPECT_LE(Get("/mofuimg/pimg.php?imgid=7").second.size(), 4096u);
  EXPECT_GT(Get("/mofuimg/spimg.php?imgid=7").second.size(), 4096u);
  EXPECT_GT(Get("/mofuimg/pimg.php?imgid=8").second.size(), 4096u);
  EXPECT_FALSE(Get("/mofuimg/pimg.php?imgid=29").first);
  EXPECT_FALSE(Get("/mofuimg/pimg.php?imgid=x").first);
  EXPECT_EQ(Get(shortFirst.ImagePath()).second, shortFirst.bytes);
  EXPECT_FALSE(Get("/mofuimg/img/d0/none.png").first);
}

TEST_F(DemoSiteTest, CacheDatabaseIsServedOnceGiven) {
  site_.SetCacheWait(std::chrono::milliseconds(50));
  EXPECT_FALSE(Get("/mofu/cache.db").first);  // not built yet
  site_.SetCacheDatabase(std::string("database bytes"));
  EXPECT_EQ(Get("/mofu/cache.db").second, "database bytes");
}

TEST_F(DemoSiteTest, RunOverTheWholeSiteFindsEveryImageFirstAtDifferenceZero) {
  GenerateOver(1, catalog_->LastId() + 2);
  ASSERT_EQ(static_cast<size_t>(control_.RowCount()), catalog_->Entries().size());
  for (const DemoEntry& entry : catalog_->Entries()) {
    const auto best = BestMatch(entry);
    ASSERT_EQ(best.size(), 4u) << entry.id;
    EXPECT_EQ(best[2], std::to_string(entry.id));
    EXPECT_EQ(best[3], "0000") << entry.id;
  }
}

}  // namespace
