#pragma once
// The history window's logic: lists the earlier versions of the document
// being written (outside a session, of every document that has some) and
// the backup copies no session needs any more, shows one with its changes
// against the text now, and brings it back.
//
// Reading and comparing long texts runs on a thread of its own; results come
// back on the window's thread, so typing never waits for it. An enciphered
// version is deciphered in memory only: nothing of it is written anywhere.

#include "core/clock.h"
#include "core/settings.h"
#include "session/recovery.h"
#include "session/versions.h"
#include "session/writing_session.h"
#include "ui/window.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace talery {

class HistoryController {
public:
    HistoryController(Window& window, const Clock& clock, const SettingsStore& settings, SessionController& session);
    ~HistoryController();
    HistoryController(const HistoryController&) = delete;
    HistoryController& operator=(const HistoryController&) = delete;

    // The menu entry 历史版本.
    void open();
    // Events of the history window, and of the settings page's limits.
    bool handle(const UiEvent& event);
    // The settings page shows the stored limits.
    void showLimits();

    // The body changed: the text now is read again before the next comparison.
    void bodyChanged() { bodyChanged_ = true; }

    // Tests and the benchmark: waits until the reading thread has nothing
    // left to do (its results still have to run on the window's thread).
    void waitIdle();

private:
    void stopWork();
    struct Row {
        enum class Kind { Heading, Version, Backup } kind = Kind::Heading;
        Path path;      // the version or the copy
        Path document;  // a version's document, when known
        bool encrypted = false;
        Text title;     // a copy's title; a version's document name
        HistoryRow shown;
    };
    // Texts now of the documents compared outside a session, read once per
    // listing; touched only by the reading thread.
    using DocumentTexts = std::map<Path, std::shared_ptr<const Text>>;
    // A job returns false when it gave way to a preview and is to run again.
    using Job = std::function<bool()>;

    void listSession();
    void listEverything();
    void rowChosen(int index);
    void bringBack();
    void submitFigures(int index);
    void close();
    // What a row compares with: the body (in a session) or its document now.
    static std::shared_ptr<const Text> textNow(const std::shared_ptr<const Text>& current, DocumentTexts& documents,
                                               const Path& document, bool encrypted, const std::optional<Text>& key);
    void submitPreview(int index);
    // The key for an encrypted row, asking outside a session when none is known.
    std::optional<Text> keyFor(const Row& row, bool mayAsk);
    Text whenText(const LocalDateTime& t) const;
    // Runs `task` on the window's thread unless the window has moved on.
    void deliver(unsigned generation, std::function<void()> task);
    void enqueue(Job job, bool preview);
    // The reading threads: one for the text the writer chose, one for the
    // figures of the list, which gives way while the other works.
    void run(bool previews);

    Window& w_;
    const Clock& clock_;
    const SettingsStore& settings_;
    SessionController& session_;

    std::vector<Row> rows_;
    bool inSession_ = false;
    // The text now: the body when the window opened (inside a session).
    std::shared_ptr<const Text> current_;
    std::shared_ptr<DocumentTexts> documentTexts_;
    bool bodyChanged_ = false;  // since current_ was read
    Text sessionKey_;
    std::map<Path, Text> keys_;  // outside a session: passwords typed for documents
    unsigned generation_ = 0;    // rows listed; results of older listings are dropped
    unsigned previewGeneration_ = 0;
    int shownRow_ = -1;          // the row whose text the preview holds
    std::shared_ptr<const MarkedText> shown_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    // The reading thread.
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> figures_;
    std::optional<Job> preview_;
    std::shared_ptr<std::atomic<bool>> previewCancel_ = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> previewWaiting_{false};  // a preview is asked for or being made
    bool previewBusy_ = false, figuresBusy_ = false;
    bool stop_ = false;
    std::thread previewThread_, figuresThread_;
};

}  // namespace talery
