#include "session/history.h"

#include "session/documents.h"
#include "session/session_view.h"
#include "session/text_compare.h"

#include <ctime>

namespace talery {
namespace {

using Kind = MarkedLine::Kind;

// The settings page's choices, in megabytes; 0 is no limit.
constexpr std::uint64_t kPerDocumentChoices[] = {50, 100, 200, 500, 1024, 0};
constexpr std::uint64_t kTotalChoices[] = {500, 1024, 2048, 5120, 10240, 0};

template <std::size_t N>
int choiceOf(const std::uint64_t (&choices)[N], std::uint64_t bytes) {
    for (std::size_t i = 0; i < N; ++i)
        if (choices[i] << 20 == bytes) return static_cast<int>(i);
    return -1;
}

LocalDateTime localTimeOf(long long seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

Text changeText(const MarkedText& m) {
    if (m.addedCharacters == 0 && m.removedCharacters == 0) {
        for (const MarkedLine& l : m.lines)
            if (l.kind != Kind::Same) return gbk(u8"只差空格或换行");
        return gbk(u8"相同");
    }
    return gbk(u8"+") + decimal(static_cast<long long>(m.addedCharacters)) + gbk(u8" -") +
           decimal(static_cast<long long>(m.removedCharacters));
}

Text sizeText(std::uint64_t characters) { return decimal(static_cast<long long>(characters)) + gbk(u8"字"); }

std::optional<Text> readStored(const Path& path, bool encrypted, const std::optional<Text>& key) {
    if (encrypted && !key) return std::nullopt;
    auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    return storedTextAsBody(std::move(*bytes), encrypted, key.value_or(Text()));
}

Text wholeBody(const Window& w) {
    Text body;
    BodySlices slices(w);
    while (auto slice = slices.next()) body += *slice;
    return body;
}

}  // namespace

HistoryController::HistoryController(Window& window, const Clock& clock, const SettingsStore& settings,
                                     SessionController& session)
    : w_(window), clock_(clock), settings_(settings), session_(session),
      previewThread_([this] { run(true); }), figuresThread_([this] { run(false); }) {}

HistoryController::~HistoryController() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        previewCancel_->store(true);
    }
    wake_.notify_all();
    previewThread_.join();
    figuresThread_.join();
}

void HistoryController::enqueue(Job job, bool preview) {
    {
        std::lock_guard lock(mutex_);
        if (preview) {
            preview_ = std::move(job);
            previewWaiting_.store(true);
        } else {
            figures_.push_back(std::move(job));
        }
    }
    wake_.notify_all();
}

void HistoryController::run(bool previews) {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] {
            return stop_ || (previews ? preview_.has_value() : !figures_.empty() && !previewWaiting_.load());
        });
        if (stop_) return;
        Job job;
        if (previews) {
            job = std::move(*preview_);
            preview_.reset();
            previewBusy_ = true;
        } else {
            job = std::move(figures_.front());
            figures_.pop_front();
            figuresBusy_ = true;
        }
        lock.unlock();
        const bool done = job();
        lock.lock();
        if (previews) {
            previewBusy_ = false;
            // A newer preview may have been asked for meanwhile.
            if (!preview_) previewWaiting_.store(false);
        } else {
            figuresBusy_ = false;
            if (!done) figures_.push_front(std::move(job));
        }
        wake_.notify_all();
        idle_.notify_all();
    }
}

void HistoryController::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] {
        return stop_ || (!previewBusy_ && !figuresBusy_ && !preview_ && figures_.empty());
    });
}

void HistoryController::deliver(unsigned generation, std::function<void()> task) {
    w_.post([this, alive = std::weak_ptr<int>(alive_), generation, task = std::move(task)] {
        if (alive.expired() || generation != generation_) return;
        task();
    });
}

Text HistoryController::whenText(const LocalDateTime& t) const {
    const LocalDateTime now = clock_.now();
    const long long days = dayNumber(now.year, now.month, now.day) - dayNumber(t.year, t.month, t.day);
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    if (days == 0) return gbk(u8"今天") + clock;
    if (days == 1) return gbk(u8"昨天") + clock;
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year, t.month, t.day);
    return Text(date) + clock;
}

// Work asked for earlier is dropped: its answers, when they come, find a newer generation.
void HistoryController::stopWork() {
    ++generation_;
    std::lock_guard lock(mutex_);
    figures_.clear();
    preview_.reset();
    previewWaiting_.store(false);
    previewCancel_->store(true);
}

void HistoryController::open() {
    stopWork();
    rows_.clear();
    shown_.reset();
    shownRow_ = -1;
    current_.reset();
    documentTexts_ = std::make_shared<DocumentTexts>();
    inSession_ = session_.writing();
    HistoryWindow& h = w_.historyWindow();
    const Colour background = w_.windowBackground();
    h.open(gbk(u8"历史版本"), {background, readableOn(background, w_.textColour(Unit::标题栏))});
    if (inSession_) listSession();
    else listEverything();
    std::vector<HistoryRow> shown;
    for (const Row& r : rows_) shown.push_back(r.shown);
    h.setRows(shown);
    h.setEnabled(HistoryUnit::恢复按钮, false);
    h.setText(HistoryUnit::恢复按钮, inSession_ ? gbk(u8"恢复到正文（可撤销）") : gbk(u8"恢复"));
    h.setProgress(-1);
    if (rows_.empty())
        h.showNote(inSession_ ? gbk(u8"这篇文本还没有历史版本：保存时，被覆盖的旧内容会留在这里。")
                              : gbk(u8"还没有历史版本，也没有未完成的会话。"));
    else
        h.showNote(gbk(u8"选择一行，查看它和现在的文本有哪些不同。"));
    for (std::size_t i = 0; i < rows_.size(); ++i) submitFigures(static_cast<int>(i));
}

void HistoryController::close() {
    stopWork();
    shown_.reset();
    current_.reset();
    keys_.clear();
    w_.historyWindow().close();
}

namespace {

Text sequenceText(unsigned long long sequence) {
    return sequence ? gbk(u8"第") + decimal(static_cast<long long>(sequence)) + gbk(u8"版") : Text();
}

}  // namespace

void HistoryController::listSession() {
    const WritingSession& s = session_.record();
    sessionKey_ = session_.sessionKeyText();
    // The text now, once: the figures of every row compare with it.
    current_ = std::make_shared<const Text>(wholeBody(w_));
    bodyChanged_ = false;
    if (s.currentPath.empty()) return;
    const bool encrypted = isEncryptedPath(s.currentPath);
    for (const VersionFile& v : listVersions(versionsFolderIn(settings_.programDirectory()), s.currentPath))
        rows_.push_back({Row::Kind::Version, v.path, s.currentPath, encrypted, titleFromPath(s.currentPath),
                         {0, whenText(v.replaced), gbk(u8"…"), gbk(u8"…"), sequenceText(v.sequence)}});
}

void HistoryController::listEverything() {
    sessionKey_ = session_.record().password.empty() ? Text() : session_.sessionKeyText();
    for (const VersionedDocument& d : versionedDocuments(versionsFolderIn(settings_.programDirectory()))) {
        const bool encrypted = isEncryptedPath(d.name);
        rows_.push_back({Row::Kind::Heading, {}, d.document, encrypted, {},
                         {0, utf8ToGbkLossy(d.name), decimal(static_cast<long long>(d.versions.size())) + gbk(u8"个版本"),
                          {}, d.document.empty() ? gbk(u8"（没有记下位置）") : utf8ToGbkLossy(d.document)}});
        for (const VersionFile& v : d.versions)
            rows_.push_back({Row::Kind::Version, v.path, d.document, encrypted, titleFromPath(d.name),
                             {1, whenText(v.replaced), gbk(u8"…"), d.document.empty() ? Text() : gbk(u8"…"),
                              sequenceText(v.sequence)}});
    }
    const std::vector<KeptBackupCopy> copies = keptBackupCopies(settings_.programDirectory());
    if (copies.empty()) return;
    rows_.push_back({Row::Kind::Heading, {}, {}, false, {},
                     {0, gbk(u8"未完成的会话"), decimal(static_cast<long long>(copies.size())) + gbk(u8"份"), {},
                      gbk(u8"放弃或没有恢复的备份")}});
    const long long now = std::time(nullptr);
    for (const KeptBackupCopy& c : copies) {
        const long long daysLeft = std::max(0LL, (c.keptUntil - now + 86399) / 86400);
        const Text title = utf8ToGbkLossy(c.titleUtf8);
        rows_.push_back({Row::Kind::Backup, c.path, {}, c.enciphered, title,
                         {1, title + gbk(u8"　") + whenText(localTimeOf(c.written)),
                          c.enciphered ? gbk(u8"（加密）") : gbk(u8"…"), {},
                          gbk(u8"还保留") + decimal(daysLeft) + gbk(u8"天")}});
    }
}

std::optional<Text> HistoryController::keyFor(const Row& row, bool mayAsk) {
    if (!row.encrypted) return Text();
    if (inSession_) return sessionKey_;
    const Path& id = row.document.empty() ? row.path : row.document;
    if (auto k = keys_.find(id); k != keys_.end()) return k->second;
    if (!sessionKey_.empty()) return sessionKey_;
    if (!mayAsk) return std::nullopt;
    const Colour background = w_.windowBackground();
    auto typed = w_.askPassword({background, readableOn(background, w_.textColour(Unit::标题栏))});
    if (!typed) return std::nullopt;
    return keys_[id] = Text(keyPrefix) + *typed;
}

std::shared_ptr<const Text> HistoryController::textNow(const std::shared_ptr<const Text>& current,
                                                       DocumentTexts& documents, const Path& document, bool encrypted,
                                                       const std::optional<Text>& key) {
    if (current) return current;
    if (document.empty()) return nullptr;
    auto found = documents.find(document);
    if (found == documents.end()) {
        auto text = readStored(document, encrypted, key);
        found = documents.emplace(document, text ? std::make_shared<const Text>(std::move(*text)) : nullptr).first;
    }
    return found->second;
}

void HistoryController::submitFigures(int index) {
    const Row& row = rows_[static_cast<std::size_t>(index)];
    if (row.kind == Row::Kind::Heading || (row.kind == Row::Kind::Backup && row.encrypted)) return;
    const std::optional<Text> key = keyFor(row, false);
    const bool compare = row.kind == Row::Kind::Version;
    enqueue(
        [this, generation = generation_, index, path = row.path, document = row.document, encrypted = row.encrypted,
         key, current = current_, documents = documentTexts_, compare] {
            Text size, change;
            auto text = readStored(path, encrypted, key);
            if (!text) {
                size = encrypted ? gbk(u8"需要密码") : gbk(u8"无法读取");
            } else {
                size = sizeText(countedCharacters(*text));
                if (compare) {
                    if (auto now = textNow(current, *documents, document, encrypted, key)) {
                        MarkedText compared = compareTexts(std::move(*text), *now, {}, &previewWaiting_);
                        if (previewWaiting_.load()) return false;
                        change = changeText(compared);
                    }
                    else if (!document.empty())
                        change = gbk(u8"文档现在读不到");
                }
            }
            deliver(generation, [this, index, size, change] {
                HistoryRow& shown = rows_[static_cast<std::size_t>(index)].shown;
                shown.size = size;
                shown.change = change;
                w_.historyWindow().setRow(index, shown);
            });
            return true;
        },
        false);
}

void HistoryController::rowChosen(int index) {
    HistoryWindow& h = w_.historyWindow();
    previewCancel_->store(true);
    ++previewGeneration_;
    shown_.reset();
    shownRow_ = -1;
    h.setEnabled(HistoryUnit::恢复按钮, false);
    h.setProgress(-1);
    if (index < 0 || index >= static_cast<int>(rows_.size())) return;
    const Row& row = rows_[static_cast<std::size_t>(index)];
    if (row.kind == Row::Kind::Heading) {
        h.showNote(gbk(u8"选择下面的一行，查看那个版本。"));
        return;
    }
    if (row.kind == Row::Kind::Backup && row.encrypted) {
        h.showNote(gbk(u8"这是加密文档的备份，点“恢复”后输入文档的密码打开。"));
        h.setEnabled(HistoryUnit::恢复按钮, true);
        return;
    }
    const std::optional<Text> key = keyFor(row, true);
    if (!key) {
        h.showNote(gbk(u8"没有密码，不能显示加密文档的版本。"));
        return;
    }
    // In a session the body may have changed since the list was made.
    if (inSession_ && bodyChanged_) {
        current_ = std::make_shared<const Text>(wholeBody(w_));
        bodyChanged_ = false;
    }
    h.showNote(gbk(u8"正在读取……"));
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    previewCancel_ = cancel;
    const unsigned generation = generation_, preview = previewGeneration_;
    enqueue(
        [this, generation, preview, index, cancel, path = row.path, document = row.document,
         encrypted = row.encrypted, version = row.kind == Row::Kind::Version, key, current = current_,
         documents = documentTexts_] {
            auto text = readStored(path, encrypted, key);
            if (!text) {
                deliver(generation, [this, preview, encrypted, path, document] {
                    if (preview != previewGeneration_) return;
                    // A password that opened nothing is not kept.
                    keys_.erase(document.empty() ? path : document);
                    w_.historyWindow().showNote(encrypted ? gbk(u8"密码不正确，不能显示这个版本。")
                                                          : gbk(u8"这个版本读不出来。"));
                });
                return true;
            }
            std::shared_ptr<const Text> now = version ? textNow(current, *documents, document, encrypted, key) : nullptr;
            double reported = 0;
            auto progress = [&](double f) {
                if (f - reported < 0.05 && f < 1) return;
                reported = f;
                deliver(generation, [this, preview, f] {
                    if (preview == previewGeneration_) w_.historyWindow().setProgress(f < 1 ? f : -1);
                });
            };
            // Without a text now (a backup copy, a document gone) the text is shown unmarked.
            const Text newer = now ? *now : *text;
            auto marked = std::make_shared<const MarkedText>(compareTexts(std::move(*text), newer, progress, cancel.get()));
            if (cancel->load()) return true;
            deliver(generation, [this, preview, index, marked] {
                if (preview != previewGeneration_) return;
                shown_ = marked;
                shownRow_ = index;
                HistoryWindow& h = w_.historyWindow();
                h.setProgress(-1);
                h.showText(marked);
                h.setEnabled(HistoryUnit::恢复按钮, true);
            });
            return true;
        },
        true);
}

void HistoryController::bringBack() {
    HistoryWindow& h = w_.historyWindow();
    const int index = h.currentRow();
    if (index < 0 || index >= static_cast<int>(rows_.size())) return;
    const Row row = rows_[static_cast<std::size_t>(index)];
    if (row.kind == Row::Kind::Heading) return;
    // An enciphered copy opens as 打开文件 opens it: under its password, and
    // its own backup stays enciphered.
    if (row.kind == Row::Kind::Backup && row.encrypted) {
        if (session_.writing()) return;
        close();
        session_.loadEncryptedDocument(row.path);
        return;
    }
    if (!shown_ || shownRow_ != index) return;
    const Text text = shown_->older;
    if (row.kind == Row::Kind::Backup) {
        close();
        session_.startWithText(row.title, text);
        return;
    }
    if (session_.writing()) {
        // One edit of the whole body: one undo gives the text before.
        if (!inSession_ || session_.record().currentPath != row.document) return;
        std::size_t bytes = 0;
        BodySlices slices(w_);
        while (auto slice = slices.next()) bytes += slice->size();
        close();
        w_.replaceBodyRange({0, bytes}, text);
        w_.setFocus(Unit::编辑框1);
        return;
    }
    // Outside a session: the document opens as 打开文件 would, and the
    // version replaces its text in one edit, so saving asks before anything
    // is overwritten and one undo shows the document as it is.
    if (!row.document.empty() && isRegularFile(row.document)) {
        close();
        const bool opened = row.encrypted ? session_.loadEncryptedDocument(row.document)
                                          : session_.loadTextDocument(row.document);
        if (!opened) return;
        std::size_t bytes = 0;
        BodySlices slices(w_);
        while (auto slice = slices.next()) bytes += slice->size();
        w_.replaceBodyRange({0, bytes}, text);
        w_.setFocus(Unit::编辑框1);
        return;
    }
    if (row.encrypted) {
        // A new text is backed up in plain: an enciphered version never is.
        w_.messageBox(gbk(u8"这篇加密文档已经不在原来的位置，不能作为新文本恢复。\r\n"
                          u8"可以用“打开文件”直接打开这个版本（需要它当时的密码），再另存到需要的位置：\r\n") +
                          utf8ToGbkLossy(row.path),
                      programCaption(), Buttons::OK, Icon::Information);
        return;
    }
    close();
    session_.startWithText(row.title, text);
}

void HistoryController::showLimits() {
    const VersionLimits limits = readVersionLimits(settings_.program());
    w_.setSelection(Unit::版本空间, choiceOf(kPerDocumentChoices, limits.perDocument));
    w_.setSelection(Unit::版本总空间, choiceOf(kTotalChoices, limits.total));
}

bool HistoryController::handle(const UiEvent& e) {
    if (e.type == EventType::SelectionChanged && (e.unit == Unit::版本空间 || e.unit == Unit::版本总空间)) {
        VersionLimits limits = readVersionLimits(settings_.program());
        if (e.index >= 0 && e.unit == Unit::版本空间 && e.index < static_cast<int>(std::size(kPerDocumentChoices)))
            limits.perDocument = kPerDocumentChoices[e.index] << 20;
        if (e.index >= 0 && e.unit == Unit::版本总空间 && e.index < static_cast<int>(std::size(kTotalChoices)))
            limits.total = kTotalChoices[e.index] << 20;
        writeVersionLimits(settings_.program(), limits);
        return true;
    }
    if (e.type == EventType::Triggered && e.unit == Unit::历史版本) {
        open();
        return true;
    }
    if (e.historyUnit == HistoryUnit::None) return false;
    switch (e.historyUnit) {
        case HistoryUnit::列表:
            if (e.type == EventType::SelectionChanged) rowChosen(e.index);
            break;
        case HistoryUnit::恢复按钮:
            if (e.type == EventType::Click) bringBack();
            break;
        case HistoryUnit::关闭按钮:
        case HistoryUnit::Window:
            if (e.type == EventType::Click || e.type == EventType::Closed) close();
            break;
        default: break;
    }
    return true;
}

}  // namespace talery
