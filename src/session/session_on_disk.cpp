// The writing session and its document on disk: a save checks the file
// against what the session last saw there, and a change by anyone else is
// the writer's to decide; one document, one window.

#include "session/long_work.h"
#include "session/versions.h"
#include "session/writing_session.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace talery {

DiskCheck SessionController::checkBound() {
    // A long document of the same size is read whole to be compared: the
    // window shows that it is busy saving and keeps painting meanwhile.
    LongWork work(view_.window(), fileSize(session_.currentPath),
                  gbk(u8"正在保存：") + utf8ToGbkLossy(session_.currentPath));
    DiskCheck check = checkOnDisk(session_.currentPath, session_.onDisk, [&work] { work.at(0); });
    if (!session_.distrust.empty() && check.change != DiskChange::Gone) {
        check.change = DiskChange::Replaced;
        check.reasonUtf8 = session_.distrust;
    }
    return check;
}

SaveOutcome SessionController::writeBound(Path& written) {
    written = session_.currentPath;
    const DiskCheck check = checkBound();
    if (check.change != DiskChange::None) return resolveChange(check, written);
    // The same bytes under a new inode (copied back by a sync tool): that file is the document now.
    if (check.now) session_.onDisk = check.now;
    return writeTo(written, true);
}

namespace {

Text timeOfChange(std::time_t when) {
    const LocalDateTime t = localTime(when);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

}  // namespace

Path SessionController::besideName(int number) const {
    const Path& document = session_.currentPath;
    const Path folder = parentFolder(document);
    std::string stem = baseName(document), ext;
    if (const auto dot = stem.rfind('.'); dot != std::string::npos && dot > 0) {
        ext = stem.substr(dot);
        stem.resize(dot);
    }
    const LocalDateTime t = clock_.now();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, " (Talery %04d-%02d-%02d %02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    std::string tail = stamp;
    if (number > 1) tail += " " + std::to_string(number);
    tail += ")" + ext;
    // A name the file system takes: whole characters of the stem go first.
    while (!stem.empty() && stem.size() + tail.size() > 255) {
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80) stem.pop_back();
        if (!stem.empty()) stem.pop_back();
    }
    return (folder.empty() ? Path() : folder + "/") + stem + tail;
}

SaveOutcome SessionController::writeBeside(Path& written) {
    if (isEncryptedPath(session_.currentPath) && !choosePassword(true)) return SaveOutcome::Cancelled;
    // The name is taken before the write, with the document's own mode, so
    // that nothing another program puts there meanwhile is written over.
    const mode_t mode = session_.onDisk ? (session_.onDisk->mode & 0666) : 0666;
    for (int number = 1; number < 100; ++number) {
        const Path path = besideName(number);
        FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!fd.valid() && errno == EEXIST) continue;
        if (!fd.valid()) {
            view_.message(joinLines({gbk(u8"保存失败！文件没有写入："), utf8ToGbkLossy(path),
                                     gbk(u8"原因：") + utf8ToGbkLossy(describeErrno(errno)),
                                     gbk(u8"正在编辑的文本还在，请换一个位置再保存。")}),
                          Buttons::OK, programCaption());
            return SaveOutcome::Failed;
        }
        fd.close();
        if (!writeDocument(path, session_.format, false)) {
            if (fileSize(path) == 0) ::unlink(path.c_str());
            return SaveOutcome::Failed;
        }
        written = path;
        return SaveOutcome::Saved;
    }
    return SaveOutcome::Failed;
}

SaveOutcome SessionController::resolveChange(const DiskCheck& check, Path& written) {
    const Path document = session_.currentPath;
    const Text shown = utf8ToGbkLossy(document);
    const Text cancel = gbk(u8"取消：不保存，继续编辑");
    const auto elsewhere = [&]() {
        auto path = askSavePath();
        if (!path) return SaveOutcome::Cancelled;
        written = *path;
        return writeTo(*path, false);
    };
    Answer a = Answer::Cancel;
    switch (check.change) {
        case DiskChange::None: return writeTo(document, true);
        case DiskChange::Gone:
            a = view_.message(joinLines({gbk(u8"这个文件在Talery打开或上次保存之后被删除或移走了："), shown,
                                         gbk(u8"是：在原来的位置重新保存 否：保存到其他位置"), cancel}),
                              Buttons::YesNoCancel, programCaption());
            if (a == Answer::Yes) return writeTo(document, true);
            if (a == Answer::No) return elsewhere();
            return SaveOutcome::Cancelled;
        case DiskChange::Changed:
            a = view_.message(
                joinLines({gbk(u8"这个文件在Talery打开或上次保存之后被其他程序改动过："), shown,
                           gbk(u8"改动时间：") + timeOfChange(check.modified),
                           gbk(u8"是：保留它，正在编辑的文本另存为：") + utf8ToGbkLossy(baseName(besideName(1))),
                           gbk(u8"否：覆盖它（它现在的内容保存在历史版本文件夹：") +
                               utf8ToGbkLossy(versionsFolderIn(settings_.programDirectory())) + gbk(u8"）"),
                           cancel}),
                Buttons::YesNoCancel, programCaption());
            if (a == Answer::Yes) return writeBeside(written);
            if (a == Answer::No) return writeTo(document, true);
            return SaveOutcome::Cancelled;
        case DiskChange::Replaced:
            a = view_.message(joinLines({gbk(u8"这个位置上已经不是Talery打开或上次保存的那个文件了："), shown,
                                         utf8ToGbkLossy(check.reasonUtf8) + gbk(u8"。Talery不会写入它。"),
                                         gbk(u8"是：正在编辑的文本另存为：") + utf8ToGbkLossy(baseName(besideName(1))),
                                         gbk(u8"否：保存到其他位置"), cancel}),
                              Buttons::YesNoCancel, programCaption());
            if (a == Answer::Yes) return writeBeside(written);
            if (a == Answer::No) return elsewhere();
            return SaveOutcome::Cancelled;
    }
    return SaveOutcome::Cancelled;
}

void SessionController::bindOnDisk(const Path& path, std::optional<DiskIdentity> identity) {
    session_.onDisk = std::move(identity);
    changeTold_ = false;
    lock_.hold(path);
    view_.window().watchFile(path);
}

bool SessionController::mayOpen(const Path& path) {
    if (path.empty() || !lock_.heldElsewhere(path)) return true;
    return view_.message(joinLines({gbk(u8"这个文件正在另一个Talery窗口中编辑"), utf8ToGbkLossy(path),
                                    gbk(u8"仍然打开么？保存时Talery会先看它是否被另一个窗口改动过。"),
                                    gbk(u8"是：仍然打开 否：不打开")}),
                         Buttons::YesNo, programCaption()) == Answer::Yes;
}

std::optional<Text> SessionController::noticeChangeOnDisk(const Path& path) {
    if (!writing() || changeTold_ || path.empty() || path != session_.currentPath) return std::nullopt;
    const bool gone = !lookAt(path);
    if (!gone && (!session_.onDisk || !looksChanged(path, *session_.onDisk))) return std::nullopt;
    // Its own save, seen while the window paints before the session is
    // bound to what it wrote.
    if (!gone && written_ && !looksChanged(path, *written_)) return std::nullopt;
    if (gone && !session_.onDisk) return std::nullopt;
    changeTold_ = true;
    const Text name = utf8ToGbkLossy(baseName(path));
    return gone ? gbk(u8"注意：") + name + gbk(u8" 被删除或移走了，保存时Talery会先问您")
                : gbk(u8"注意：") + name + gbk(u8" 刚被其他程序改动过，保存时Talery会先问您");
}

}  // namespace talery
