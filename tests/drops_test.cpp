// Files dropped onto the window, through the fake window: each kind of file,
// drops while a text is being written, drops of many files and of files that
// cannot be read.

#include "app_fixture.h"
#include "core/cipher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace talery {
namespace {

using namespace test;

const char8_t* kBusy = u8"正在编辑文本呢，一心不能二用哦，赶紧保存再试吧";
const char8_t* kUnsupported = u8"目前仅支持txt/tlr文本和wav音频文件拖拽。";

class DropTest : public AppTest {
protected:
    // The drop handler with a player that records what it was given.
    void openWithPlayer(const std::vector<Path>& paths) {
        DropHandler drops(session(), w, [this](const Path& p) { played.push_back(p); });
        for (std::size_t i = 0; i < paths.size(); ++i) drops.openDroppedFile(paths[i], static_cast<int>(i));
    }
    std::vector<Path> played;
};

TEST_F(DropTest, TxtOpensAsTheOpenCommandDoesAndOtherExtensionsAreRefusedCaseSensitively) {
    const std::string folder = dir.file("notes");
    std::filesystem::create_directory(folder);
    writeBytes(dir.file("A.TXT"), "text");
    for (const std::string& path : {dir.file("A.TXT"), dir.file("b.doc"), folder, std::string("/tmp")}) {
        w.messages.clear();
        w.dropFile(path);
        expectIdle();
        EXPECT_TRUE(session().record().openedFromFile) << path;
        EXPECT_EQ(w.messageTexts(), std::vector<std::string>{u8(kUnsupported)}) << path;
    }

    const std::string path = dir.file(u8(u8"第二章.草稿.txt"));
    writeBytes(path, g(u8"雨停了。\r\n"));
    w.messages.clear();
    w.dropFile(path);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"雨停了。\r\n"));
    EXPECT_EQ(w.text(Unit::章节名称), g(u8"第二章"));
    EXPECT_EQ(session().record().currentPath, path);
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(DropTest, DocumentsWhileWritingOnlyShowTheBusyMessageAndRecordingsStillPlay) {
    startWithTitle(u8"第一章");
    w.typeText(Unit::编辑框1, u8"正文");
    const Text body = w.text(Unit::编辑框1);
    writeBytes(dir.file("a.txt"), "other");
    writeBytes(dir.file("b.tlr"), "cipher");
    session().record().openedFromFile = false;

    openWithPlayer({dir.file("a.txt")});
    openWithPlayer({dir.file("b.tlr")});
    openWithPlayer({dir.file("song.wav")});
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), body);
    EXPECT_EQ(w.text(Unit::章节名称), g(u8"第一章"));
    EXPECT_TRUE(session().record().currentPath.empty());
    EXPECT_TRUE(session().record().openedFromFile);
    EXPECT_TRUE(w.passwordDialogs.empty());
    EXPECT_EQ(w.messageTexts(), (std::vector<std::string>{u8(kBusy), u8(kBusy)}));
    EXPECT_EQ(played, std::vector<Path>{dir.file("song.wav")});
}

TEST_F(DropTest, TlrAsksThePasswordBeforeSwitchingAndAnEmptyOneIsTheKeyPrefixAlone) {
    const Text text = g(u8"这是一篇很长的日记，写了很多很多的内容。\r\n第二行");
    const std::string cipher = encryptText(text, "mqd517283946");
    writeBytes(dir.file("s.tlr"), cipher);

    // A wrong password: the session never switches and the file is untouched.
    w.passwordResults = {Text("wrong")};
    w.dropFile(dir.file("s.tlr"));
    expectIdle();
    EXPECT_TRUE(w.text(Unit::章节名称).empty());
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(readBytes(dir.file("s.tlr")), cipher);

    w.passwordResults = {Text()};
    w.dropFile(dir.file("s.tlr"));
    expectWriting();
    EXPECT_EQ(w.passwordDialogs.size(), 2u);
    EXPECT_EQ(w.text(Unit::编辑框1), text);
    EXPECT_EQ(w.text(Unit::章节名称), "s");
    EXPECT_EQ(IniFile(dir.file("setting.ini")).read(g(u8"软件设置"), g(u8"tlr使用")), "201611");
}

TEST_F(DropTest, ManyFilesInOneDropOpenOneDocumentAndTellEachRefusalOnce) {
    writeBytes(dir.file("a.txt"), "first");
    std::vector<Path> paths = {dir.file("a.txt"), dir.file("x.doc"), dir.file("1.wav"), dir.file("2.wav")};
    for (int i = 0; i < 1000; ++i) paths.push_back(dir.file("n" + std::to_string(i) + (i % 2 ? ".txt" : ".jpg")));
    openWithPlayer(paths);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), "first");
    EXPECT_EQ(w.messageTexts(), (std::vector<std::string>{u8(kUnsupported), u8(kBusy)}));
    EXPECT_EQ(played, std::vector<Path>{dir.file("1.wav")});

    // The next drop is a new gesture: it is told again.
    w.messages.clear();
    w.dropFiles({dir.file("b.txt")});
    EXPECT_EQ(w.messageTexts(), std::vector<std::string>{u8(kBusy)});
}

TEST_F(DropTest, UnreadableFilesAreRefusedWithTheirReasonAndNothingElseOfTheDropIsTried) {
    const std::string folder = dir.file("folder.txt");
    std::filesystem::create_directory(folder);
    const std::string locked = dir.file("locked.txt");
    writeBytes(locked, "secret");
    ::chmod(locked.c_str(), 0);
    writeBytes(dir.file("good.txt"), "good");
    struct Case {
        std::string path;
        const char8_t* reason;
    };
    std::vector<Case> cases = {{dir.file("vanished.txt"), u8"文件或文件夹不存在"}, {folder, u8"这是一个文件夹"}};
    // Root reads every file whatever its permission bits say.
    if (::geteuid() != 0) cases.push_back({locked, u8"没有访问权限"});
    for (const Case& c : cases) {
        w.messages.clear();
        w.dropFiles({c.path, dir.file("good.txt")});
        expectIdle();
        ASSERT_EQ(w.messages.size(), 1u) << c.path;
        EXPECT_NE(w.lastMessage().find(c.path), std::string::npos);
        EXPECT_NE(w.lastMessage().find(u8(c.reason)), std::string::npos) << w.lastMessage();
    }
    w.dropFile(dir.file("good.txt"));
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), "good");
}

}  // namespace
}  // namespace talery
