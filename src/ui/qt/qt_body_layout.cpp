#include "ui/qt/qt_body_layout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <QVarLengthArray>
#include <QWidget>
#include <QtMath>

// The toolkit lays a paragraph out as a whole on every change, so a key
// typed into a paragraph of a megabyte costs tens of milliseconds. Its
// layout's line table and break rules are reached here to keep what a
// change leaves as it was.
#include <private/qtextengine_p.h>
#include <private/qunicodetools_p.h>

#include <algorithm>
#include <cstring>

namespace talery {

// A long paragraph as it was last laid out: its text (with an input
// method's text in it), the break rules of each character, and its lines,
// the first `exact` of them as the toolkit lays them out, the rest estimated
// from earlier lines. Each is a source for laying out the paragraph, or the
// paragraphs it is split into or joined with, after a change.
struct BodyLayout::Snapshot {
    QString text;
    QByteArray attributes;
    QList<QScriptLine> lines;
    int exact = 0;
    const QTextLayout* layout = nullptr;
    QTextCursor start;  // follows the paragraph's start
    // What the lines were laid out with.
    QFont font;
    QTextOption option;
};

namespace {

// The internals are used as the toolkit this was built with has them: with
// any other version at run time, its own layout does everything.
bool internalsKnown() {
    static const bool known = qstrcmp(qVersion(), QT_VERSION_STR) == 0;
    return known;
}

constexpr qsizetype kRulesContext = 64;  // characters each side of a change whose break rules are worked out again
constexpr qsizetype kLineContext = 16;   // characters before a change that a kept line must end ahead of
constexpr qsizetype kWordReach = 4096;   // how far back a change's word is looked for
constexpr std::size_t kSnapshots = 4;
constexpr qsizetype kSnapshotCharacters = 8 << 20;

qsizetype lineEnd(const QScriptLine& line) { return line.from + line.length + line.trailingSpaces; }

qsizetype commonPrefix(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* x = a.constData();
    const QChar* y = b.constData();
    constexpr qsizetype kChunk = 1024;
    qsizetype i = 0;
    while (i + kChunk <= n && std::memcmp(x + i, y + i, kChunk * sizeof(QChar)) == 0) i += kChunk;
    while (i < n && x[i] == y[i]) ++i;
    return i;
}

qsizetype commonSuffix(const QString& a, const QString& b) {
    const qsizetype n = std::min(a.size(), b.size());
    const QChar* x = a.constData() + a.size();
    const QChar* y = b.constData() + b.size();
    constexpr qsizetype kChunk = 1024;
    qsizetype i = 0;
    while (i + kChunk <= n && std::memcmp(x - i - kChunk, y - i - kChunk, kChunk * sizeof(QChar)) == 0) i += kChunk;
    while (i < n && x[-i - 1] == y[-i - 1]) ++i;
    return i;
}

// The break rules of characters [from, to) of the engine's text, worked out
// with the characters around them, as the engine would for the whole text.
void workOutRules(const QTextEngine* engine, qsizetype from, qsizetype to, QCharAttributes* into) {
    if (from >= to) return;
    const QString& text = engine->layoutData->string;
    const qsizetype start = std::max<qsizetype>(0, from - kRulesContext);
    const qsizetype end = std::min(text.size(), to + kRulesContext);
    const QScriptItemArray& items = engine->layoutData->items;
    QVarLengthArray<QUnicodeTools::ScriptItem> scripts;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const qsizetype itemEnd = i + 1 < items.size() ? items.at(i + 1).position : text.size();
        if (itemEnd <= start || items.at(i).position >= end) continue;
        scripts.append({std::max<qsizetype>(items.at(i).position, start) - start,
                        QChar::Script(items.at(i).analysis.script)});
    }
    // One more than the characters: the toolkit also marks the position after the last.
    std::vector<QCharAttributes> rules(static_cast<std::size_t>(end - start + 1));
    QUnicodeTools::initCharAttributes(QStringView(text).mid(start, end - start), scripts.data(), scripts.size(),
                                      rules.data(),
                                      QUnicodeTools::CharAttributeOptions(
                                          QUnicodeTools::GraphemeBreaks | QUnicodeTools::LineBreaks |
                                          QUnicodeTools::WhiteSpaces | QUnicodeTools::HangulLineBreakTailoring));
    std::memcpy(into + from, rules.data() + (from - start), static_cast<std::size_t>(to - from) * sizeof(QCharAttributes));
}

// Shaping goes an item at a time, up to 4,096 characters, and the glyph of
// each character new to the font is loaded from its file then: a paragraph
// seen for the first time loads the glyphs of lines nobody looks at yet.
// Items are cut shorter, only between two ideographs (whose widths do not
// depend on their neighbours), so the lines stay the toolkit's own.
void cutItems(QTextEngine::LayoutData* data) {
    constexpr qsizetype kItem = 512, kReach = 64;
    const QString& text = data->string;
    const auto ideograph = [&text](qsizetype i) { return QChar::script(text.at(i).unicode()) == QChar::Script_Han; };
    QScriptItemArray cut;
    cut.reserve(data->items.size());
    for (qsizetype i = 0; i < data->items.size(); ++i) {
        const QScriptItem item = data->items.at(i);
        const qsizetype end = i + 1 < data->items.size() ? data->items.at(i + 1).position : text.size();
        cut.append(item);
        for (qsizetype at = item.position + kItem; at + kItem < end; at += kItem) {
            qsizetype split = at;
            while (split < at + kReach && !(ideograph(split - 1) && ideograph(split))) ++split;
            if (split == at + kReach) continue;
            QScriptItem piece(static_cast<int>(split), item.analysis);
            cut.append(piece);
            at = split;
        }
    }
    data->items = std::move(cut);
}

const QCharAttributes* rulesOf(const QByteArray& bytes) { return reinterpret_cast<const QCharAttributes*>(bytes.constData()); }

}  // namespace

BodyLayout::BodyLayout(QTextDocument* document) : QPlainTextDocumentLayout(document) {}

BodyLayout::~BodyLayout() = default;

void BodyLayout::setView(QWidget* viewport) { view_ = viewport; }

int BodyLayout::linesPastChange() const {
    // Twice what the box shows: the change is on screen, and so is what follows it.
    const qreal spacing = std::max<qreal>(1, QFontMetricsF(document()->defaultFont()).lineSpacing());
    const int shown = view_ ? qCeil(view_->height() / spacing) : 64;
    return 2 * shown + 16;
}

qreal BodyLayout::availableWidth() const {
    // The box wraps at its viewport's width, as the toolkit's own view sets it.
    qreal width = view_ ? view_->width() : 0;
    if (width <= 0) width = qreal(INT_MAX);
    return width - 2 * document()->documentMargin();
}

void BodyLayout::documentChanged(int from, int removed, int added) {
    QTextDocument* doc = document();
    changedFrom_ = doc->findBlock(from);
    const QTextBlock last = doc->findBlock(std::max(0, from + removed + added - 1));
    bool done = false;
    // A change within one long paragraph: the toolkit's own handling of it,
    // with the paragraph laid out again only where the change reaches.
    // An input method's text clears the paragraph's lines first: its height
    // before is then unknown, and the whole box is painted.
    if (changedFrom_ == last && doc->blockCount() == blocks_ && changedFrom_.isValid() &&
        changedFrom_.length() >= kLongParagraph) {
        const QRectF before = changedFrom_.layout()->lineCount() ? blockBoundingRect(changedFrom_) : QRectF();
        const int linesBefore = doc->lineCount();
        if (layOut(changedFrom_, linesPastChange())) {
            done = true;
            if (blockBoundingRect(changedFrom_).height() == before.height()) {
                emit updateBlock(changedFrom_);
            } else {
                if (doc->lineCount() != linesBefore) emit documentSizeChanged(documentSize());
                emit update(QRectF(0., -doc->documentMargin(), 1000000000., 1000000000.));
            }
        }
    }
    if (!done) QPlainTextDocumentLayout::documentChanged(from, removed, added);
    blocks_ = doc->blockCount();
    changedFrom_ = QTextBlock();
}

QRectF BodyLayout::blockBoundingRect(const QTextBlock& block) const {
    // A long paragraph not laid out yet (new, split from another, or the
    // width changed) is laid out from what is known of it.
    if (block.isValid() && block.length() >= kLongParagraph && block.layout()->lineCount() == 0) {
        auto* self = const_cast<BodyLayout*>(this);
        const int linesBefore = document()->lineCount();
        if (self->layOut(block, linesPastChange()) && document()->lineCount() != linesBefore) {
            // Told once the caller is done: it may be sizing the scroll bars now.
            QMetaObject::invokeMethod(self, [self] { emit self->documentSizeChanged(self->documentSize()); },
                                      Qt::QueuedConnection);
        }
    }
    return QPlainTextDocumentLayout::blockBoundingRect(block);
}

const BodyLayout::Snapshot* BodyLayout::liveSnapshot(const QTextBlock& block) const {
    if (!block.isValid()) return nullptr;
    const QTextLayout* layout = block.layout();
    for (const auto& snapshot : snapshots_) {
        if (snapshot->layout != layout) continue;
        // The newest of this layout, if the paragraph still has the lines it left.
        const QTextCursor& start = snapshot->start;
        const bool live = !snapshot->lines.isEmpty() && layout->lineCount() > 0 && start.block() == block &&
                          start.position() == block.position() && layout->lineCount() == snapshot->lines.size() &&
                          block.length() - 1 + layout->preeditAreaText().size() == snapshot->text.size() &&
                          layout->engine()->lines.constLast().from == snapshot->lines.constLast().from;
        return live ? snapshot.get() : nullptr;
    }
    return nullptr;
}

void BodyLayout::dropOldest() {
    // A paragraph whose estimated lines nothing here follows any more is
    // laid out afresh when it is next needed.
    const QTextBlock gone = snapshots_.back()->start.block();
    if (liveSnapshot(gone) == snapshots_.back().get() && estimatedLine(gone) >= 0) gone.layout()->clearLayout();
    snapshots_.pop_back();
}

void BodyLayout::forget() {
    while (!snapshots_.empty()) dropOldest();
}

int BodyLayout::estimatedLine(const QTextBlock& block) const {
    const Snapshot* snapshot = liveSnapshot(block);
    return snapshot && snapshot->exact < snapshot->lines.size() ? snapshot->exact : -1;
}

std::vector<QTextBlock> BodyLayout::estimatedBlocks() const {
    std::vector<QTextBlock> blocks;
    for (const auto& snapshot : snapshots_) {
        const QTextBlock block = snapshot->start.block();
        if (estimatedLine(block) >= 0 && std::find(blocks.begin(), blocks.end(), block) == blocks.end())
            blocks.push_back(block);
    }
    return blocks;
}

bool BodyLayout::settle(const QTextBlock& block, int lines) {
    if (estimatedLine(block) < 0) return false;
    const int linesBefore = document()->lineCount();
    if (!layOut(block, lines)) {
        // Laid out in part no longer (the wrapping was turned off): the
        // toolkit lays it out whole.
        const QTextLayout* layout = block.layout();
        std::erase_if(snapshots_, [layout](const auto& s) { return s->layout == layout; });
        block.layout()->clearLayout();
        QPlainTextDocumentLayout::blockBoundingRect(block);
        emit update(QRectF(0., -document()->documentMargin(), 1000000000., 1000000000.));
    }
    if (document()->lineCount() != linesBefore) emit documentSizeChanged(documentSize());
    return estimatedLine(block) >= 0;
}

bool BodyLayout::layOut(const QTextBlock& block, int linesPastChange) {
    QTextDocument* doc = document();
    const QTextOption option = doc->defaultTextOption();
    if (!internalsKnown() || !view_ || !block.isValid() || !block.isVisible() || block.length() < kLongParagraph ||
        option.wrapMode() == QTextOption::NoWrap || option.wrapMode() == QTextOption::ManualWrap ||
        (option.flags() & (QTextOption::AddSpaceForLineAndParagraphSeparators |
                           QTextOption::ShowLineAndParagraphSeparators | QTextOption::ShowDocumentTerminator)))
        return false;
    QTextLayout* layout = block.layout();
    layout->setTextOption(option);
    QTextEngine* engine = layout->engine();
    // As the toolkit begins a layout, what the engine holds is dropped (it
    // may be shaped in another font), unless it is what the last layout
    // here left, in this font: settling the rest of a paragraph, a slice at
    // a time, does not itemize it again.
    const QFont font = doc->defaultFont();
    const Snapshot* last = liveSnapshot(block);
    const bool fresh = !(last && engine->layoutData && engine->layoutData->haveCharAttributes &&
                         last->font == font && last->text.constData() == engine->layoutData->string.constData());
    if (fresh) engine->invalidate();
    engine->itemize();
    if (fresh && engine->preeditAreaPosition() < 0 && engine->formats().isEmpty()) cutItems(engine->layoutData);
    QTextEngine::LayoutData* data = engine->layoutData;
    const QString& text = data->string;
    const qsizetype n = text.size();
    const QFixed width = QFixed::fromReal(availableWidth());

    // The sources: the one that begins as the text does for longest, and
    // the one that ends as it does for longest.
    const Snapshot* head = nullptr;
    const Snapshot* tail = nullptr;
    qsizetype same = 0, sameEnd = 0;
    for (const auto& snapshot : snapshots_) {
        const qsizetype prefix = commonPrefix(snapshot->text, text);
        if (!head || prefix > same || (prefix == same && snapshot->exact > head->exact)) head = snapshot.get(), same = prefix;
        const qsizetype suffix = commonSuffix(snapshot->text, text);
        if (suffix > sameEnd) tail = snapshot.get(), sameEnd = suffix;
    }
    const bool identical = head && same == n && head->text.size() == n;
    if (identical) {
        tail = head;
        sameEnd = n;
    }
    if (!identical) sameEnd = std::min(sameEnd, n - same);
    if (!sameEnd) tail = nullptr;
    // Where the text stops being the head's, and from where on it is the tail's.
    const qsizetype changeFrom = identical ? n : same;
    const qsizetype changeEnd = identical ? 0 : n - sameEnd;
    const qsizetype offset = tail ? n - tail->text.size() : 0;
    const auto linesFit = [&](const Snapshot* s) {
        return s && !s->lines.isEmpty() && s->lines.constFirst().width == width && s->font == font &&
               s->option.wrapMode() == option.wrapMode() && s->option.tabStopDistance() == option.tabStopDistance() &&
               s->option.tabs() == option.tabs();
    };

    // The break rules: the head's up to the change, the tail's after it.
    // Room for the rules of every character (the engine sizes that part by
    // the text) but for few glyphs: only the items the lines reach are
    // shaped, and room for the rest would be megabytes cleared for nothing.
    if (!engine->ensureSpace(1)) return false;
    auto* rules = reinterpret_cast<QCharAttributes*>(data->memory);
    if (!data->haveCharAttributes) {
        const qsizetype rulesFrom = identical ? n : std::max<qsizetype>(0, changeFrom - kRulesContext);
        const qsizetype rulesTo = identical ? n : std::min(n, changeEnd + kRulesContext);
        if (head && rulesFrom > 0) std::memcpy(rules, head->attributes.constData(), static_cast<std::size_t>(rulesFrom));
        if (tail && rulesTo < n)
            std::memcpy(rules + rulesTo, tail->attributes.constData() + (rulesTo - offset), static_cast<std::size_t>(n - rulesTo));
        workOutRules(engine, rulesFrom, tail ? rulesTo : n, rules);
        data->haveCharAttributes = true;
    }

    // The head's lines that end well before the change's word are kept,
    // but for the last, which may take in what the change lets fit.
    int keep = 0;
    if (linesFit(head)) {
        if (identical) {
            keep = head->exact;
        } else {
            const QCharAttributes* old = rulesOf(head->attributes);
            qsizetype word = std::min(changeFrom, head->text.size() - 1);
            const qsizetype reach = std::max<qsizetype>(0, word - kWordReach);
            while (word > reach && !old[word].lineBreak) --word;
            const qsizetype safeEnd = word - kLineContext;
            const auto first = head->lines.constBegin();
            const auto past = std::partition_point(first, first + head->exact,
                                                   [safeEnd](const QScriptLine& l) { return lineEnd(l) <= safeEnd; });
            keep = std::max(0, static_cast<int>(past - first) - 1);
        }
    }
    engine->lines = head ? head->lines.mid(0, keep) : QList<QScriptLine>();
    for (QScriptLine& line : engine->lines) line.justified = line.gridfitted = 0;

    // Lines laid out as the toolkit does, from the first not kept until past
    // the change by a screenful or more, or until they meet the tail's.
    data->layoutState = QTextEngine::InLayout;
    const qreal margin = doc->documentMargin();
    const qreal lineWidth = availableWidth();
    qreal y = 0;
    if (keep) {
        const QTextLine previous = layout->lineAt(keep - 1);
        y = previous.y() + previous.height() + (previous.leading() < 0 ? qCeil(previous.leading()) : 0);
    }
    const qsizetype laidFrom = keep ? lineEnd(engine->lines.constLast()) : 0;
    // Past this, lines are laid out only a screenful on: the change's end,
    // or where the lines kept end when nothing is known of the paragraph.
    const bool unknown = !identical && !tail && same == 0;
    const qsizetype settledFrom = identical || unknown ? laidFrom : changeEnd;
    // A paragraph seen for the first time is shown from its start: a
    // screenful is enough, and each new character's glyph costs a load.
    if (unknown) linesPastChange = std::max(1, linesPastChange / 2);
    // The tail's lines from `match` on, moved below the lines laid out (to
    // `y`), the first starting where those end (`at`).
    const auto appendTail = [&](QList<QScriptLine>::const_iterator match, qsizetype at) {
        const QFixed dy = QFixed::fromReal(y) - match->y;
        for (auto it = match; it != tail->lines.constEnd(); ++it) {
            QScriptLine line = *it;
            const qsizetype end = line.from + offset + line.length;
            line.from = static_cast<int>(it == match ? at : line.from + offset);
            line.length = static_cast<int>(end - line.from);
            line.y += dy;
            line.justified = line.gridfitted = 0;
            engine->lines.append(line);
        }
    };
    int past = 0;
    int exact = -1;
    while (true) {
        const qsizetype at = engine->lines.isEmpty() ? 0 : lineEnd(engine->lines.constLast());
        if (!engine->lines.isEmpty() && at >= n) break;
        if (linesFit(tail) && at >= settledFrom + kLineContext && !identical) {
            // Where a line of the tail's that the toolkit laid out starts
            // here, every line after it is as it was, only moved.
            const auto first = tail->lines.constBegin();
            const auto match = std::partition_point(first, first + tail->exact,
                                                    [&](const QScriptLine& l) { return l.from + offset < at; });
            if (match != first + tail->exact && match->from + offset == at) {
                exact = static_cast<int>(engine->lines.size() + (first + tail->exact - match));
                appendTail(match, at);
                break;
            }
        }
        if (at >= settledFrom && past >= linesPastChange) break;
        QTextLine line = layout->createLine();
        if (!line.isValid()) break;
        line.setLeadingIncluded(true);
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(margin, y));
        y += line.height();
        if (line.leading() < 0) y += qCeil(line.leading());
        if (lineEnd(engine->lines.constLast()) > settledFrom) ++past;
    }
    if (exact < 0) {
        exact = static_cast<int>(engine->lines.size());
        qsizetype at = engine->lines.isEmpty() ? 0 : lineEnd(engine->lines.constLast());
        if (at < n && !engine->lines.isEmpty()) {
            // The rest is estimated: the tail's lines where it has them, the
            // first stretched back to where the laid-out ones end; otherwise
            // lines as long as those laid out so far.
            if (linesFit(tail)) {
                const auto match = std::partition_point(tail->lines.constBegin(), tail->lines.constEnd(),
                                                        [&](const QScriptLine& l) { return l.from + offset < at; });
                if (match != tail->lines.constEnd()) {
                    appendTail(match, at);
                    at = lineEnd(engine->lines.constLast());
                }
            }
            const QScriptLine model = engine->lines.constLast();
            const int perLine = std::max(1, static_cast<int>(at / engine->lines.size()));
            const QTextLine last = layout->lineAt(static_cast<int>(engine->lines.size()) - 1);
            const QFixed step = QFixed::fromReal(last.height() + (last.leading() < 0 ? qCeil(last.leading()) : 0));
            QFixed lineY = model.y + step;
            while (at < n) {
                QScriptLine line = model;
                line.from = static_cast<int>(at);
                line.length = static_cast<int>(std::min<qsizetype>(perLine, n - at));
                line.trailingSpaces = 0;
                line.hasTrailingSpaces = false;
                line.y = lineY;
                lineY += step;
                at += line.length;
                engine->lines.append(line);
            }
        }
    }
    data->layoutState = QTextEngine::LayoutEmpty;
    const_cast<QTextBlock&>(block).setLineCount(layout->lineCount());

    auto snapshot = std::make_shared<Snapshot>();
    snapshot->text = text;
    snapshot->attributes = QByteArray(reinterpret_cast<const char*>(data->memory), n);  // moved if shaping grew it
    snapshot->lines = engine->lines;
    snapshot->exact = exact;
    snapshot->layout = layout;
    snapshot->start = QTextCursor(doc);
    snapshot->start.setPosition(block.position());
    snapshot->font = font;
    snapshot->option = option;
    // The newest first; one of the same paragraph and text is superseded.
    std::erase_if(snapshots_, [&](const auto& s) { return s->layout == layout && s->text == snapshot->text; });
    snapshots_.insert(snapshots_.begin(), std::move(snapshot));
    // A few paragraphs, and not more text than a long novel's worth: one
    // paragraph of tens of megabytes keeps only its own last layout.
    const auto kept = [this] {
        qsizetype characters = 0;
        for (const auto& s : snapshots_) characters += s->text.size();
        return characters;
    };
    while (snapshots_.size() > kSnapshots || (snapshots_.size() > 1 && kept() > kSnapshotCharacters)) dropOldest();
    // As the toolkit ends a layout (the text above goes with it).
    if (!engine->cacheGlyphs) engine->freeMemory();
    if (exact < layout->lineCount()) emit estimating();
    return true;
}

}  // namespace talery
