#pragma once
// The writing session: the one document the main window holds, and the
// operations that start it, save it, open it and give it up.

#include "core/clock.h"
#include "core/settings.h"
#include "session/disk_identity.h"
#include "session/document_lock.h"
#include "session/documents.h"
#include "session/long_work.h"
#include "session/phase.h"
#include "session/recovery.h"
#include "session/session_view.h"

#include <functional>
#include <memory>
#include <vector>

namespace talery {

struct WritingSession {
    Phase phase = Phase::Idle;
    Path currentPath;            // the file the session is bound to, UTF-8 path
    bool openedFromFile = false;
    Text password;               // last password confirmed in the password dialog
    Text keyPrefix;              // set once at start-up
    DocumentFormat format;       // how the bound file stores its text
    // What was loaded, so that a text opened and left untouched is never
    // questioned nor rewritten (its bytes need not be what a save would write).
    struct Loaded {
        FileDigest body{};  // digested as files are: the same when the body is the file
        FileDigest file{};
        Text keyText;
        std::size_t characters = 0;  // the body's length once loaded: a cheap first test
    };
    std::optional<Loaded> loaded;
    bool keptWriting = false;    // saved with Ctrl+S during this session
    // The bound file as the session last loaded or wrote it; nothing when
    // it found none there. Every write to the document is checked against it.
    std::optional<DiskIdentity> onDisk;
    // Why the document a restored session names is not taken as its own
    // (UTF-8): its saves ask first. Empty when nothing speaks against it.
    std::string distrust;
};

enum class SaveOutcome { Saved, Cancelled, Failed };

// What the session asks of the rest of the program. Each may be left empty.
struct SessionHooks {
    // A diary session has ended: the diary's look goes, then the settings are saved.
    std::function<void()> leaveDiary{};
    std::function<void()> saveSettings{};
    // Opening a ".wav" hands the path to the WAV player.
    std::function<void(const Path&)> openWav{};
    // Just before the program puts its own text into the body at the end of a session.
    std::function<void()> beforeBodyReplaced{};
    // Just before a loaded document becomes the whole body, which may be read
    // until this returns; with nothing once it is in.
    std::function<void(const Text* body)> bodyLoading{};
    // A save has put the text in its document: nothing pending may be
    // written to the backup copy after it.
    std::function<void()> discardBackup{};
    // How the writer is told, without a box, that the text is not protected.
    std::function<void(const Text&)> netNote{};
};

class SessionController {
public:
    SessionController(Window& window, const Clock& clock, const SettingsStore& settings, SessionHooks hooks = {});

    WritingSession& record() { return session_; }
    const WritingSession& record() const { return session_; }

    // The session operations.
    void toggleWriting(bool fromFile);
    void newTemporaryText();
    void giveUpEditing();
    Text makeTemporaryTitle() const;

    // Saving and opening.
    SaveOutcome saveDocument();
    // Ctrl+S: writes the text to its document as saveDocument does (a new
    // text asks for one and is bound to it) and the session goes on.
    SaveOutcome saveAndKeepWriting();
    void openDocument();
    bool loadTextDocument(const Path& path);
    bool loadEncryptedDocument(const Path& path);
    // Starts a new text, bound to no document, that holds `body` under
    // `title` (a text brought back from the history). False while writing.
    bool startWithText(const Text& title, Text body);
    // The key the session's document is enciphered with.
    Text sessionKeyText() const { return keyText(); }

    // The password dialog: on confirmation `password` takes the typed text
    // and the answer is true; closed any other way, nothing changes.
    bool askPassword();
    void showEncryptorNotice();

    // Whether the body, saved to the bound file as it would be now, gives the
    // bytes already on disk. False when there is no bound file or it cannot be read.
    bool bodyMatchesFile() const;
    // The program ends with the text in its document: the session's copy goes,
    // as at the end of any session with nothing unsaved.
    void endWithTextSaved();
    // The one answer to whether a session runs, and whether it is a diary.
    Phase phase() const { return session_.phase; }
    bool writing() const { return sessionRunning(session_.phase); }
    bool diaryMode() const { return session_.phase == Phase::Diary; }
    // The menu entry 新建日记, once the diary's title is in place: a new text in diary mode.
    void startDiary();
    // Diary mode ends while the session goes on (the window closing).
    void endDiary();

    // The backup copy of the session being written: its own file, named after
    // its title and when it began, enciphered while the session is bound to
    // an encrypted document. Empty between sessions, or when none could be made.
    const Path& backupFile() const { return backupCopy_; }
    bool backupEnciphered() const;
    // At start: offers the backup copy of a session an earlier run left
    // unfinished, and on the user's word continues it.
    void offerRecovery();
    // At every change of the body: a copy or journal entry that could not be
    // made before is tried again.
    void keepNet();
    // The backup writer's word on the running session's copy.
    void backupWritten(bool ok, const std::string& reasonUtf8);

    // The watched document changed on disk: the note to show, once until
    // the session next writes or loads it; nothing when it still looks as
    // the session left it (its own save) or was told already.
    std::optional<Text> noticeChangeOnDisk(const Path& path);

private:
    void startWriting(bool withTitleLine, Phase phase = Phase::Writing);
    // `keepOld`: the file there is the program's own empty reservation, not a text to keep.
    bool writeDocument(const Path& path, const DocumentFormat& format, bool keepOld = true);
    // The password `path` needs, then the write. `askAboutPrevious` offers the
    // password the session already has.
    SaveOutcome writeTo(const Path& path, bool askAboutPrevious);
    std::optional<Path> askSavePath();
    // A write to the bound document, after comparing the file on disk with
    // what the session knows of it; when it changed, the writer decides where
    // the text goes. `written` is where it went.
    SaveOutcome writeBound(Path& written);
    DiskCheck checkBound();
    SaveOutcome resolveChange(const DiskCheck& check, Path& written);
    // A new file beside the document for the session's text; `written` its name.
    SaveOutcome writeBeside(Path& written);
    Path besideName(int number) const;
    // The session is bound to `path` as `identity` shows it: watched and locked.
    void bindOnDisk(const Path& path, std::optional<DiskIdentity> identity);
    // Whether to open a document another Talery window is bound to.
    bool mayOpen(const Path& path);
    // After a save that keeps the session: bound to `path`, its bytes noted,
    // and a fresh backup copy (enciphered when the document is).
    void bindTo(const Path& path);
    FileDigest bodyDigest() const;
    void reserveCopy();
    // Whether the body, the key and the bound file are all as they were loaded.
    bool untouchedSinceLoad() const;
    void rememberLoaded(const Text& body, const FileDigest& fileBytes);
    // The end every load shares: a session starts on `body` under `title`,
    // bound to `path` (none for a text never saved) in `format`.
    void startLoaded(const Path& path, const Text& title, Text body, const DocumentFormat& format);
    void tellMixedLineBreaks();
    // Returns false when the user gave up at the previous-password question.
    bool choosePassword(bool askAboutPrevious);
    // The mirrors and the record of a session that has ended.
    void returnToIdle(const Text& farewell);
    SaveOutcome saveAndReturnToIdle();
    // `savedAs`: the file the text went to when it is not the document.
    void finishSave(bool opened, const Path& savedAs = {});
    Text keyText() const;
    FileDialogRequest dialogRequest(Unit dialog, bool withTitle) const;
    void refuseFile(const Path& path, const std::string& reasonUtf8);
    // Reads an interrupted session's backup copy (asking the password when
    // it is enciphered) and continues it; false when it could not be read.
    bool restoreSession(const InterruptedSession& interrupted);
    // This program's journal entry for the running session.
    void writeJournal();
    // The copy or the entry could not be made: told once until it works again.
    void netFailed(const std::string& reasonUtf8);

    SessionView view_;
    const Clock& clock_;
    const SettingsStore& settings_;
    SessionHooks hooks_;
    WritingSession session_;
    // Between the start of a session and its text being in place: its copy waits.
    bool starting_ = false;
    SessionJournal journal_;
    Path backupCopy_;
    bool journalCurrent_ = false;  // the entry names the running session as it is
    bool netTold_ = false;
    // Restored from an entry without a password check: the password opened
    // the copy but nothing confirmed it, so it is not kept as the check.
    bool passwordUnconfirmed_ = false;
    Text checkedKey_;
    std::string passwordCheck_;  // of checkedKey_, made once: it is slow
    DocumentLock lock_;
    // What the last write put on disk.
    std::optional<DiskIdentity> written_;
    bool changeTold_ = false;
    // Within a save that ends the session: a long write's progress stays up
    // while the session returns to idle, so the window paints between those
    // steps too.
    bool keepSaveProgress_ = false;
    std::unique_ptr<LongWork> saveProgress_;
};

}  // namespace talery
