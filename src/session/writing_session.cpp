#include "session/writing_session.h"

#include "session/backup.h"
#include "session/long_work.h"
#include "core/cipher.h"
#include "core/second_thread.h"
#include "session/refused_password.h"
#include "session/versions.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace talery {
namespace {

// A digest of a long text, with progress on the way.
FileDigest digestOf(std::string_view bytes, const Progress& progress) {
    constexpr std::size_t kStep = std::size_t(8) << 20;
    FileDigester digest;
    for (std::size_t at = 0; at < bytes.size(); at += kStep) {
        digest.update(bytes.substr(at, kStep));
        if (progress) progress(static_cast<double>(std::min(at + kStep, bytes.size())) / static_cast<double>(bytes.size()));
    }
    return digest.digest();
}

}  // namespace

Answer SessionView::message(const Text& text, Buttons buttons, const Text& caption) {
    return w_.messageBox(text, caption, buttons, Icon::None);
}

SessionController::SessionController(Window& window, const Clock& clock, const SettingsStore& settings,
                                     SessionHooks hooks)
    : view_(window),
      clock_(clock),
      settings_(settings),
      hooks_(std::move(hooks)),
      journal_(settings.programDirectory()),
      lock_(settings.programDirectory()) {
    session_.keyPrefix = Text(keyPrefix);
}

Text SessionController::makeTemporaryTitle() const {
    const LocalDateTime t = clock_.now();
    return gbk(u8"临时文本： 产生于") + decimal(t.year) + gbk(u8"年") + decimal(t.month) + gbk(u8"月") + decimal(t.day) +
           gbk(u8"日") + decimal(t.hour) + gbk(u8"时") + decimal(t.minute) + gbk(u8"分") + decimal(t.second) +
           gbk(u8"秒    by：Talery");
}

Text SessionController::keyText() const { return session_.keyPrefix + session_.password; }

void SessionController::startDiary() {
    if (writing()) return;
    session_.format = {};
    startWriting(true, Phase::Diary);
}

void SessionController::endDiary() {
    if (session_.phase == Phase::Diary) session_.phase = Phase::Writing;
}

void SessionController::startWriting(bool withTitleLine, Phase phase) {
    view_.setBodyEnabled(true);
    view_.alignBodyLeft();
    // The focus goes straight to the body, before its text and caret change:
    // a screen reader takes a caret that moves first for the focus itself and
    // then drops the focus, and one that leaves a disabled field for the button
    // speaks the button.
    view_.focusBody();
    session_.phase = phase;
    starting_ = true;
    view_.setTitleEnabled(false);
    view_.setStartCaption(gbk(u8"立刻保存"));
    if (withTitleLine) {
        view_.setBody(view_.title() + "\r\n");
        view_.caretToEnd();
    }
    view_.setMenuEntryEnabled(Unit::新建日记, false);
    view_.setMenuEntryEnabled(Unit::打开文件, false);
    starting_ = false;
    // A restored session goes on in the copy it came from; any other gets a
    // copy of its own, which no other session ever writes over.
    if (backupCopy_.empty()) reserveCopy();
    writeJournal();
}

void SessionController::toggleWriting(bool fromFile) {
    if (view_.title().empty()) view_.setTitle(makeTemporaryTitle());
    if (writing()) {
        view_.setTitleCaption(gbk(u8"标题/题目："));
        saveDocument();
        view_.focusBody();
        return;
    }
    if (!fromFile) session_.format = {};
    startWriting(!fromFile);
}

void SessionController::newTemporaryText() {
    if (writing()) {
        view_.message(gbk(u8"当前正在编辑文档呢，您可以保存或清空当前编辑来创建临时文本"), Buttons::OK, programCaption());
        return;
    }
    view_.setTitle(makeTemporaryTitle());
    session_.format = {};
    startWriting(true);
    view_.setTitleCaption(gbk(u8"标题/题目："));
}

bool SessionController::startWithText(const Text& title, Text body) {
    if (writing()) return false;
    view_.setTitle(title);
    session_.currentPath.clear();
    session_.openedFromFile = false;
    session_.format = {};
    startWriting(false);
    view_.setBody(std::move(body));
    view_.caretToEnd();
    view_.setTitleCaption(gbk(u8"标题/题目："));
    return true;
}

void SessionController::giveUpEditing() {
    if (!writing()) {
        view_.message(gbk(u8"还没有开始书写"), Buttons::OK, programCaption());
        return;
    }
    if (view_.message(gbk(u8"警告！该操作将会删除所有内容！清空当前软件编辑，但是不影响原文件"), Buttons::OKCancel,
                      programCaption()) != Answer::OK)
        return;
    if (view_.message(gbk(u8"警告！您真的接受初始化软件的一切后果么？"), Buttons::OKCancel, programCaption()) != Answer::OK)
        return;
    const bool diary = diaryMode();
    returnToIdle(gbk(u8"文本已经清空，感谢您的使用"));
    session_.openedFromFile = false;
    view_.setStartCaption(gbk(u8"开始书写"));
    if (diary) {
        view_.setTitleCaption(gbk(u8"标题/题目："));
        if (hooks_.leaveDiary) hooks_.leaveDiary();
        session_.password.clear();
        if (hooks_.saveSettings) hooks_.saveSettings();
    }
}

FileDialogRequest SessionController::dialogRequest(Unit dialog, bool withTitle) const {
    FileDialogRequest r;
    r.dialog = dialog;
    r.initialFolder = settings_.dialogFolder();
    if (withTitle) r.initialName = gbkToUtf8Lossy(view_.title());
    return r;
}

bool SessionController::askPassword() {
    Window& w = view_.window();
    // The strip's colour may be chosen for a top image: the dialog has the plain background.
    const PasswordDialogLook look{w.windowBackground(), readableOn(w.windowBackground(), w.textColour(Unit::标题栏))};
    auto typed = w.askPassword(look);
    if (!typed) return false;
    session_.password = *typed;
    // The copy of a running enciphered session is now written under this key.
    if (writing() && backupEnciphered()) writeJournal();
    return true;
}

void SessionController::showEncryptorNotice() {
    view_.message(gbk(u8"加密工具已经删除，您可以保存文件时使用tlr文件保存，支持加密"), Buttons::OK, gbk(u8"信息："));
}

bool SessionController::choosePassword(bool askAboutPrevious) {
    if (askAboutPrevious && !session_.password.empty()) {
        const Answer a = view_.message(
            gbk(u8"使用原密码保存文件么？\r\n是：使用原密码 否：使用新密码 取消：放弃保存"), Buttons::YesNoCancel, programCaption());
        if (a == Answer::Yes) return true;
        if (a != Answer::No) return false;
    }
    return askPassword();
}

bool SessionController::untouchedSinceLoad() const {
    if (!session_.loaded || session_.loaded->keyText != keyText()) return false;
    const Window& window = view_.window();
    if (window.bodyLength() != session_.loaded->characters) return false;
    const auto paint = [&window] { window.paintDuringWork(); };
    return bodyDigest() == session_.loaded->body && digestOfFile(session_.currentPath, paint) == session_.loaded->file;
}

FileDigest SessionController::bodyDigest() const {
    const Window& window = view_.window();
    FileDigester body;
    BodySlices slices(window);
    while (auto slice = slices.next()) {
        body.update(*slice);
        window.paintDuringWork();
    }
    return body.digest();
}

void SessionController::rememberLoaded(const Text& body, const FileDigest& fileBytes) {
    session_.loaded = WritingSession::Loaded{digestOf(body, [this](double) { view_.window().paintDuringWork(); }),
                                             fileBytes, keyText()};
}

void SessionController::tellMixedLineBreaks() {
    view_.message(gbk(u8"这个文件混用了几种换行方式（CR LF、LF、CR），保存时会统一为CR LF换行。"), Buttons::OK, programCaption());
}

bool SessionController::writeDocument(const Path& path, const DocumentFormat& format, bool keepOld) {
    const Text shownPath = utf8ToGbkLossy(path);
    // Two bytes a character at most: the size the work is judged by.
    auto owned = std::make_unique<LongWork>(view_.window(), 2 * std::uint64_t(view_.window().bodyLength()),
                                            gbk(u8"正在保存：") + shownPath);
    LongWork& work = *owned;
    work.at(0.1);
    // Saving over the file it came from, unchanged: every byte is already there.
    if (path == session_.currentPath && untouchedSinceLoad()) {
        written_ = session_.onDisk;
        // The window still paints around the long body letting go.
        if (keepSaveProgress_) saveProgress_ = std::move(owned);
        return true;
    }
    written_.reset();

    std::optional<Path> version;
    if (keepOld && isRegularFile(path)) {
        work.at(0.1);
        FileError versionError;
        version = keepVersion(versionsFolderIn(settings_.programDirectory()), path, clock_.now(), &versionError,
                              readVersionLimits(settings_.program()), work.span(0.1, 0.4));
        if (!version) work.finish();
        if (!version &&
            view_.message(joinLines({gbk(u8"无法保留原文件的旧版本："), shownPath,
                                     gbk(u8"原因：") + utf8ToGbkLossy(versionError.reasonUtf8),
                                     gbk(u8"仍然覆盖原文件么？覆盖后原来的内容无法找回。")}),
                          Buttons::YesNo, programCaption()) != Answer::Yes)
            return false;
    }
    // The body goes to the file a slice at a time, never whole.
    DocumentEncoder encoder(path, format, keyText());
    BodySlices slices(view_.window());
    const Progress progress = work.span(0.4, 1);
    // What goes to disk is digested on the way: the session knows the file
    // it wrote without reading it back.
    FileDigester digest;
    std::uint64_t size = 0;
    const BlockSource next = [&](std::string& block) {
        auto slice = slices.next();
        block = slice ? encoder.next(std::move(*slice)) : std::string();
        digest.update(block);
        size += block.size();
        if (progress) progress(slices.done());
        return true;
    };
    FileError error;
    // Rewriting in place is safe only with the old content kept elsewhere:
    // the copy is looked at, not taken on trust.
    const bool oldContentKept = version && isRegularFile(*version) && fileSize(*version) == fileSize(path);
    if (writeFileAtomic(path, next, &error, oldContentKept ? InPlace::Allow : InPlace::Refuse, FileMode::Keep,
                        progress)) {
        // Looked at after the write: should another program write in between,
        // its bytes will not match this digest at the next save.
        written_ = lookAt(path);
        if (written_) {
            written_->digest = digest.digest();
            written_->size = size;
        }
        // The file's last steps (flush, rename) are behind: the window paints.
        work.at(1);
        if (keepSaveProgress_) saveProgress_ = std::move(owned);
        return true;
    }
    work.finish();
    const Text reason = gbk(u8"原因：") + utf8ToGbkLossy(error.reasonUtf8);
    if (error.targetTouched && version) {
        view_.message(joinLines({gbk(u8"保存失败！文件只写入了一部分："), shownPath, reason,
                                 gbk(u8"原来的内容保存在："), utf8ToGbkLossy(*version),
                                 gbk(u8"正在编辑的文本还在，请换一个位置再保存。")}),
                      Buttons::OK, programCaption());
        return false;
    }
    view_.message(joinLines({gbk(u8"保存失败！文件没有写入："), shownPath, reason,
                             gbk(u8"正在编辑的文本还在，请换一个位置再保存。")}),
                  Buttons::OK, programCaption());
    return false;
}

std::optional<Path> SessionController::askSavePath() {
    auto path = view_.window().saveFileDialog(dialogRequest(Unit::通用对话框2, true));
    if (!path) return path;
    // "机密.TLR": the writer meant an enciphered file, which only ".tlr" is
    // (files named ".TLR" by the Windows program open as they were written).
    std::string ending = extensionOf(*path);
    for (char& c : ending) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (ending != "tlr" || isEncryptedPath(*path) || path->find('.') == Path::npos) return path;
    const Path enciphered = path->substr(0, path->size() - 3) + "tlr";
    const Text shown = utf8ToGbkLossy(enciphered);
    if (fileExists(enciphered)) {
        if (view_.message(joinLines({gbk(u8"加密文档的扩展名是小写的.tlr，将保存为："), shown,
                                     gbk(u8"这个文件已经存在，覆盖它么？")}),
                          Buttons::YesNo, programCaption()) != Answer::Yes)
            return std::nullopt;
    } else {
        view_.message(joinLines({gbk(u8"加密文档的扩展名是小写的.tlr，将加密保存为："), shown}), Buttons::OK,
                      programCaption());
    }
    return enciphered;
}

SaveOutcome SessionController::writeTo(const Path& path, bool askAboutPrevious) {
    if (isEncryptedPath(path) && !(askAboutPrevious ? choosePassword(true) : askPassword())) return SaveOutcome::Cancelled;
    if (!writeDocument(path, session_.format)) return SaveOutcome::Failed;
    settings_.rememberDialogFolder(path);
    return SaveOutcome::Saved;
}

SaveOutcome SessionController::saveDocument() {
    keepSaveProgress_ = true;
    const SaveOutcome outcome = saveAndReturnToIdle();
    keepSaveProgress_ = false;
    saveProgress_.reset();
    return outcome;
}

SaveOutcome SessionController::saveAndReturnToIdle() {
    if (session_.currentPath.empty()) {
        auto path = askSavePath();
        if (!path) return SaveOutcome::Cancelled;
        const SaveOutcome outcome = writeTo(*path, true);
        if (outcome == SaveOutcome::Saved) finishSave(false);
        return outcome;
    }
    // Saved with Ctrl+S and unchanged since: the document holds the text.
    if (session_.keptWriting && untouchedSinceLoad()) {
        finishSave(true);
        return SaveOutcome::Saved;
    }
    // Changed on disk: the question about that replaces the usual one.
    if (const DiskCheck check = checkBound(); check.change != DiskChange::None) {
        Path written;
        const SaveOutcome outcome = resolveChange(check, written);
        if (outcome == SaveOutcome::Saved) finishSave(true, written == session_.currentPath ? Path() : written);
        return outcome;
    }

    const Answer a = view_.message(gbk(u8"覆盖原文件保存么？\r\n是：覆盖原文件 否：选择其他位置 取消：放弃保存\r\n"
                                       u8"如果想清空正在编辑的文件可以点击F12"),
                                   Buttons::YesNoCancel, programCaption());
    SaveOutcome outcome = SaveOutcome::Cancelled;
    Path written = session_.currentPath;
    if (a == Answer::Yes) {
        // Checked again: the file may have changed while the question stood.
        outcome = writeBound(written);
    } else if (a == Answer::No) {
        auto path = askSavePath();
        if (!path) return SaveOutcome::Cancelled;
        outcome = writeTo(*path, false);
    }
    if (outcome == SaveOutcome::Saved) finishSave(true, written == session_.currentPath ? Path() : written);
    return outcome;
}

SaveOutcome SessionController::saveAndKeepWriting() {
    if (!writing()) return SaveOutcome::Cancelled;
    Path path = session_.currentPath;
    SaveOutcome outcome;
    if (path.empty()) {
        auto chosen = askSavePath();
        if (!chosen) return SaveOutcome::Cancelled;
        path = *chosen;
        outcome = writeTo(path, true);
    } else {
        outcome = writeBound(path);
    }
    if (outcome == SaveOutcome::Saved) bindTo(path);
    return outcome;
}

void SessionController::bindTo(const Path& path) {
    // The text is in its document: nothing pending may reach the old copy,
    // and a plain copy of a text now saved enciphered must not stay.
    if (hooks_.discardBackup) hooks_.discardBackup();
    if (!backupCopy_.empty()) removeFile(backupCopy_);
    session_.currentPath = path;
    session_.keptWriting = true;
    session_.distrust.clear();
    if (written_)
        session_.loaded = WritingSession::Loaded{bodyDigest(), written_->digest, keyText(), view_.window().bodyLength()};
    else
        session_.loaded.reset();
    // Saved with this password: it is the right one.
    passwordUnconfirmed_ = false;
    bindOnDisk(path, written_);
    reserveCopy();
    if (backupCopy_.empty()) {
        journal_.end();  // no copy: nothing to name
        journalCurrent_ = false;
    }
    writeJournal();
}

void SessionController::returnToIdle(const Text& farewell) {
    // Opened and left unchanged: its copy would only repeat the document.
    // (Read only while the copy is there: a save has removed it already.)
    const bool nothingUnsaved = writing() && !backupCopy_.empty() && isRegularFile(backupCopy_) && bodyMatchesFile();
    session_.phase = Phase::Idle;
    view_.setTitleEnabled(true);
    view_.setBodyEnabled(false);
    view_.setMenuEntryEnabled(Unit::新建日记, true);
    view_.setMenuEntryEnabled(Unit::打开文件, true);
    view_.setTitle({});
    session_.currentPath.clear();
    session_.format = {};
    session_.loaded.reset();
    session_.keptWriting = false;
    session_.onDisk.reset();
    session_.distrust.clear();
    lock_.release();
    view_.window().watchFile({});
    journal_.end();
    if (saveProgress_) saveProgress_->at(1);
    journalCurrent_ = false;
    netTold_ = false;
    passwordUnconfirmed_ = false;
    // A copy never written, or of a text its document holds, keeps nothing;
    // any other stays for its days, counted from now.
    if (!backupCopy_.empty() && isRegularFile(backupCopy_) && (fileSize(backupCopy_) == 0 || nothingUnsaved))
        removeFile(backupCopy_);
    else
        keepFromNow(backupCopy_);
    backupCopy_.clear();
    // The body last: a long one takes a while to let go, and a save's
    // progress lets the window paint before and after it.
    if (saveProgress_) saveProgress_->at(1);
    if (hooks_.beforeBodyReplaced) hooks_.beforeBodyReplaced();
    view_.setBody(farewell);
    if (saveProgress_) saveProgress_->at(1);
}

void SessionController::endWithTextSaved() {
    if (!writing() || backupCopy_.empty() || !bodyMatchesFile()) return;
    // Nothing pending may write the copy again after it is gone.
    if (hooks_.discardBackup) hooks_.discardBackup();
    removeFile(backupCopy_);
    backupCopy_.clear();
    journal_.end();
    journalCurrent_ = false;
}

void SessionController::finishSave(bool opened, const Path& savedAs) {
    // The text is in its document now. Its copy goes, and with it any plain
    // copy of a text just saved enciphered.
    if (hooks_.discardBackup) hooks_.discardBackup();
    if (!backupCopy_.empty()) removeFile(backupCopy_);
    // Right after a long save the disk is busy: the window paints between
    // the steps that touch it.
    if (saveProgress_) saveProgress_->at(1);
    const bool diary = diaryMode();
    returnToIdle(gbk(u8"文本已经保存，感谢您的使用"));
    saveProgress_.reset();  // before the message about it
    if (!savedAs.empty())
        view_.message(joinLines({gbk(u8"正在编辑的文本已经另存为："), utf8ToGbkLossy(savedAs)}), Buttons::OK, programCaption());
    else
        view_.message(opened ? gbk(u8"文件已经保存") : gbk(u8"保存成功！"), Buttons::OK, programCaption());
    session_.openedFromFile = false;
    view_.setStartCaption(gbk(u8"开始书写"));
    if (diary) {
        if (hooks_.leaveDiary) hooks_.leaveDiary();
        if (hooks_.saveSettings) hooks_.saveSettings();
    }
}

void SessionController::openDocument() {
    session_.openedFromFile = true;
    auto path = view_.window().openFileDialog(dialogRequest(Unit::通用对话框1, false));
    if (!path) return;
    settings_.rememberDialogFolder(*path);
    const std::string ext = extensionOf(*path);
    if (ext == "txt") {
        loadTextDocument(*path);
    } else if (ext == "tlr") {
        loadEncryptedDocument(*path);
    } else if (ext == "wav" && hooks_.openWav) {
        hooks_.openWav(*path);
    }
}

void SessionController::refuseFile(const Path& path, const std::string& reasonUtf8) {
    view_.message(joinLines({gbk(u8"无法打开文件："), utf8ToGbkLossy(path), gbk(u8"原因：") + utf8ToGbkLossy(reasonUtf8),
                             gbk(u8"文件没有被修改。")}),
                  Buttons::OK, programCaption());
}

bool SessionController::loadTextDocument(const Path& path) {
    if (writing() || !mayOpen(path)) return false;
    LongWork work(view_.window(), fileSize(path), gbk(u8"正在打开：") + utf8ToGbkLossy(path));
    work.at(0);
    FileError error;
    // Where the file lives is looked at before its bytes are read: a
    // replacement in between then shows at the first save.
    std::optional<DiskIdentity> seen = lookAt(path);
    auto bytes = readWholeFile(path, &error, kMaxWholeFile, work.span(0, 0.3));
    if (!bytes) {
        work.finish();
        refuseFile(path, error.reasonUtf8);
        return false;
    }
    // A long file's digest is made on a second thread while its bytes are
    // checked as text, and taken before they change; a short one's here,
    // first (its bytes may live inside the string and move with it).
    const auto digestAll = [whole = std::string_view(*bytes)] { return fileDigestOf(whole); };
    const bool alongside = bytes->size() >= kLongWorkBytes;
    std::future<FileDigest> digesting =
        alongside ? onSecondThread(digestAll) : std::async(std::launch::deferred, digestAll);
    if (!alongside) digesting.wait();
    const std::uint64_t size = bytes->size();
    const std::function<void()> paint = [&view = view_] { view.window().paintDuringWork(); };
    DecodeProblem problem;
    // The bytes become the body: a large file is not held twice.
    auto decoded = decodeTextDocumentTaking(std::move(*bytes), &problem, paint,
                                            [&digesting, &paint] { waitWhile(digesting, paint); });
    const FileDigest fileBytes = digesting.get();
    bytes.reset();
    if (seen) {
        seen->digest = fileBytes;
        seen->size = size;
    }
    work.at(0.6);
    if (!decoded) {
        work.finish();
        switch (problem) {
            case DecodeProblem::ContainsNul: refuseFile(path, "这不是文本文件（含有空字节）"); break;
            case DecodeProblem::NotRepresentable:
                refuseFile(path, "文件中有GBK编码无法保存的字符，打开后再保存会损坏原文");
                break;
            case DecodeProblem::Utf16WithoutBom:
                refuseFile(path, "文件像是没有字节顺序标记（BOM）的UTF-16编码，无法确定字节顺序");
                break;
            default: refuseFile(path, "文件既不是GBK编码也不是UTF-8编码，无法正确显示"); break;
        }
        return false;
    }
    // What follows changes the session: no progress is shown (and no event
    // delivered) between its steps.
    work.at(0.7);
    // A GBK file with CR LF breaks throughout is its body byte for byte.
    if (decoded->format == DocumentFormat{} && !decoded->mixedLineBreaks)
        session_.loaded = WritingSession::Loaded{fileBytes, fileBytes, keyText()};
    else
        rememberLoaded(decoded->body, fileBytes);
    startLoaded(path, titleFromPath(path), std::move(decoded->body), decoded->format);
    bindOnDisk(path, seen);
    work.finish();
    if (decoded->mixedLineBreaks) tellMixedLineBreaks();
    return true;
}

bool SessionController::loadEncryptedDocument(const Path& path) {
    if (writing()) return false;
    if (!mayOpen(path)) return false;
    // The password comes first, so that a wrong one leaves the session
    // untouched; a refused one is not kept.
    RefusedPasswordIsForgotten keep(session_.password);
    if (!askPassword()) return false;
    LongWork work(view_.window(), fileSize(path), gbk(u8"正在打开：") + utf8ToGbkLossy(path));
    work.at(0);
    FileError error;
    // Where the file lives is looked at before its bytes are read: a
    // replacement in between then shows at the first save.
    std::optional<DiskIdentity> seen = lookAt(path);
    auto bytes = readWholeFile(path, &error, kMaxWholeFile, work.span(0, 0.3));
    if (!bytes) {
        work.finish();
        refuseFile(path, error.reasonUtf8);
        return false;
    }
    const FileDigest fileBytes = digestOf(*bytes, work.span(0.3, 0.35));
    if (seen) {
        seen->digest = fileBytes;
        seen->size = bytes->size();
    }
    std::string plain = std::move(*bytes);
    bytes.reset();
    applyDocumentKeystream(plain, keyText(), work.span(0.35, 0.5));
    if (!plausibleDecipheredText(plain, [&view = view_] { view.window().paintDuringWork(); })) {
        work.finish();
        refuseFile(path, "解密后的内容不是文本，密码可能不正确");
        return false;
    }
    NormalisedBreaks breaks = normaliseLineBreaks(std::move(plain));
    work.at(0.7);
    rememberLoaded(breaks.text, fileBytes);
    DocumentFormat format;
    format.lineBreaks = breaks.style;
    startLoaded(path, titleFromPath(path), std::move(breaks.text), format);
    bindOnDisk(path, seen);
    work.finish();
    if (breaks.mixed) tellMixedLineBreaks();
    keep.opened = true;
    settings_.program().write(gbk(u8"软件设置"), gbk(u8"tlr使用"), dateStamp(clock_.now()));
    return true;
}

void SessionController::startLoaded(const Path& path, const Text& title, Text body, const DocumentFormat& format) {
    session_.currentPath = path;
    view_.setTitle(title);
    toggleWriting(true);
    // The session's start (an enciphered one's journal entry takes a while)
    // is drawn before a long text is counted and goes in.
    view_.window().paintDuringWork();
    if (hooks_.bodyLoading) hooks_.bodyLoading(&body);
    view_.setBody(std::move(body));
    if (hooks_.bodyLoading) hooks_.bodyLoading(nullptr);
    if (session_.loaded) session_.loaded->characters = view_.window().bodyLength();
    view_.alignBodyLeft();
    session_.format = format;
}

bool SessionController::bodyMatchesFile() const {
    if (session_.currentPath.empty()) return false;
    if (untouchedSinceLoad()) return true;
    // What a save would write, digested a slice at a time like the file.
    DocumentEncoder encoder(session_.currentPath, session_.format, keyText());
    FileDigester bytes;
    std::uint64_t size = 0;
    BodySlices slices(view_.window());
    while (auto slice = slices.next()) {
        const std::string block = encoder.next(std::move(*slice));
        size += block.size();
        bytes.update(block);
    }
    return fileSize(session_.currentPath) == size && digestOfFile(session_.currentPath) == bytes.digest();
}

}  // namespace talery
