// The writing session's net: its backup copy and journal entry, and the
// recovery of a session an earlier run left unfinished.

#include "core/log.h"
#include "session/backup.h"
#include "session/refused_password.h"
#include "session/writing_session.h"

namespace talery {
namespace {

// How the document a recovered session is bound to stores its text, so a
// save writes it back the way it came; a new text's format when it cannot be read.
// A long one is read a step at a time, `paint` running between the steps.
DocumentFormat formatOfDocument(const Path& path, const Text& keyText, const Progress& progress,
                                const std::function<void()>& paint) {
    auto bytes = readWholeFile(path, nullptr, kMaxWholeFile, progress);
    if (!bytes) return {};
    if (isEncryptedPath(path)) {
        applyDocumentKeystream(*bytes, keyText, [&paint](double) { paint(); });
        DocumentFormat format;
        if (plausibleDecipheredText(*bytes, paint)) format.lineBreaks = normaliseLineBreaks(*bytes).style;
        return format;
    }
    auto decoded = decodeTextDocumentTaking(std::move(*bytes), nullptr, paint);
    return decoded ? decoded->format : DocumentFormat{};
}

}  // namespace

void SessionController::writeJournal() {
    // Should the program end abnormally, the next start finds this session's backup copy.
    if (backupCopy_.empty()) return;
    JournalEntry entry{view_.title(), backupCopy_, session_.currentPath, backupEnciphered(), {}};
    if (entry.encrypted && !passwordUnconfirmed_) {
        if (passwordCheck_.empty() || checkedKey_ != keyText()) {
            checkedKey_ = keyText();
            passwordCheck_ = makePasswordCheck(checkedKey_);
        }
        entry.passwordCheck = passwordCheck_;
    }
    FileError error;
    journalCurrent_ = journal_.begin(entry, &error);
    if (!journalCurrent_) {
        logFailure(LogArea::Session, "cannot write the journal entry for " + backupCopy_ + ": " + error.reasonUtf8);
        netFailed(error.reasonUtf8);
    }
}

void SessionController::keepNet() {
    // A session still starting makes its own copy when its text is in place.
    if (!writing() || starting_) return;
    if (backupCopy_.empty()) reserveCopy();
    if (!backupCopy_.empty() && !journalCurrent_) writeJournal();
}

void SessionController::backupWritten(bool ok, const std::string& reasonUtf8) {
    if (!writing()) return;
    if (!ok) {
        logFailure(LogArea::Backup, "cannot write the backup copy " + backupCopy_ + ": " + reasonUtf8);
        return netFailed(reasonUtf8);
    }
    // A copy no entry names would never be offered: the entry comes now.
    if (!journalCurrent_) writeJournal();
    if (journalCurrent_) netTold_ = false;
}

void SessionController::netFailed(const std::string& reasonUtf8) {
    if (netTold_ || !hooks_.netNote) return;
    netTold_ = true;
    hooks_.netNote(gbk(u8"自动备份失败（") + utf8ToGbkLossy(reasonUtf8) +
             gbk(u8"）：正在书写的文本没有备份，程序意外关闭会丢失。请尽快保存（Ctrl+S），并检查备份文件夹：") +
             utf8ToGbkLossy(backupFolder(settings_.programDirectory())));
}

bool SessionController::backupEnciphered() const {
    return !session_.currentPath.empty() && isEncryptedPath(session_.currentPath);
}

void SessionController::reserveCopy() {
    FileError error;
    backupCopy_ = reserveBackupCopy(settings_.programDirectory(), view_.title(), clock_.now(), backupEnciphered(), &error)
                      .value_or(Path());
    if (backupCopy_.empty()) {
        logFailure(LogArea::Backup,
                   "cannot reserve a backup copy in " + backupFolder(settings_.programDirectory()) + ": " + error.reasonUtf8);
        netFailed(error.reasonUtf8);
    }
}

bool SessionController::restoreSession(const InterruptedSession& interrupted) {
    const JournalEntry& entry = interrupted.entry;
    if (!mayOpen(entry.document)) return false;
    RefusedPasswordIsForgotten keep(session_.password);
    // Closing the password dialog answers the question again.
    if (entry.encrypted && !askPassword()) return false;
    // An entry without a check (an older one): a password that merely
    // deciphers the copy plausibly is not confirmed, and never becomes one.
    passwordUnconfirmed_ = entry.encrypted && entry.passwordCheck.empty();
    // A long copy is read, deciphered and checked in steps, with progress.
    LongWork work(view_.window(), fileSize(entry.backup), gbk(u8"正在恢复：") + entry.title);
    work.at(0);
    const std::function<void()> paint = [&view = view_] { view.window().paintDuringWork(); };
    const auto refuse = [&](const std::string& reason) {
        work.finish();
        refuseFile(entry.backup, reason);
        return false;
    };
    // The check kept with the entry tells a wrong password whatever the
    // copy's length; without one (an older entry) the text itself must pass.
    if (entry.encrypted && !entry.passwordCheck.empty() && !passwordCheckMatches(entry.passwordCheck, keyText()))
        return refuse("密码不正确");
    FileError error;
    auto bytes = readWholeFile(entry.backup, &error, kMaxWholeFile, work.span(0, 0.3));
    if (!bytes) return refuse(error.reasonUtf8);
    std::string body = std::move(*bytes);
    if (entry.encrypted) applyDocumentKeystream(body, keyText(), work.span(0.3, 0.4));
    // The copy holds the body as it was: GBK with CR LF. Anything else (a
    // wrong password) is never opened, so it cannot be saved over the document.
    if (!plausibleDecipheredText(body, paint))
        return refuse(entry.encrypted ? "解密后的内容不是文本，密码可能不正确" : "备份文件不是文本");
    session_.openedFromFile = !entry.document.empty();
    // The restored session goes on in its copy, which stays until it is saved.
    backupCopy_ = entry.backup;
    const DocumentFormat format =
        entry.document.empty() ? DocumentFormat{} : formatOfDocument(entry.document, keyText(), work.span(0.4, 0.6), paint);
    work.at(0.7);
    startLoaded(entry.document, entry.title, std::move(body), format);
    view_.caretToEnd();
    if (!entry.document.empty()) {
        // The entry names the document; whether the file there is the
        // writer's own is not taken on its word.
        auto found = identify(entry.document, paint);
        const auto reason = found ? distrustReason(*found) : std::nullopt;
        session_.distrust = reason.value_or(std::string());
        bindOnDisk(entry.document, found);
    }
    keep.opened = true;
    return true;
}

void SessionController::offerRecovery() {
    std::vector<Path> offered;
    for (InterruptedSession& interrupted : findInterruptedSessions(settings_.programDirectory())) {
        // The window holds one text: the others are offered at the next start.
        if (writing()) break;
        const JournalEntry& entry = interrupted.entry;
        offered.push_back(entry.backup);
        const Text saved = entry.document.empty()
                               ? gbk(u8"这篇文本还没有保存过。")
                               : gbk(u8"它和保存过的文件不一样：") + utf8ToGbkLossy(entry.document);
        const Text question = joinLines({gbk(u8"Talery上次没有正常关闭，找到了正在书写的文本的备份："),
                                         gbk(u8"《") + entry.title + gbk(u8"》"), saved,
                                         gbk(u8"恢复这份备份继续书写么？"),
                                         gbk(u8"是：恢复备份 否：不恢复（备份文件从现在起保留") + decimal(kBackupDaysKept) +
                                             gbk(u8"天，在：") + utf8ToGbkLossy(entry.backup) + gbk(u8"）")});
        while (!writing()) {
            if (view_.message(question, Buttons::YesNo, programCaption()) != Answer::Yes) break;
            restoreSession(interrupted);
        }
        // Restored (this program's own entry now names the copy) or declined,
        // the entry is done with; a declined copy's days start now.
        if (!writing() || backupCopy_ != entry.backup) keepFromNow(entry.backup);
        interrupted.forget();
    }
    const PruneResult pruned = pruneOldBackups(settings_.programDirectory(), offered);
    if (pruned.earlierCopies > 0)
        view_.message(joinLines({gbk(u8"以前版本的Talery留下了") + decimal(pruned.earlierCopies) + gbk(u8"份自动备份，在："),
                                 utf8ToGbkLossy(backupFolder(settings_.programDirectory())),
                                 gbk(u8"它们从今天起保留") + decimal(kBackupDaysKept) +
                                     gbk(u8"天，之后自动删除。需要的请复制出来。")}),
                      Buttons::OK, programCaption());
}

}  // namespace talery
