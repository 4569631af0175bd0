// The Qt window: the body's selection and text, counted in GBK bytes.
#include "ui/qt/qt_window.h"

#include "ui/qt/qt_body_offsets.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace talery {
namespace {

// Byte offset in the GBK form of the body for a character position, and back.
// Find steps through long bodies: neither direction converts the body.
std::size_t gbkOffset(QPlainTextEdit* e, int position) { return gbkOffsetOf(*e->document(), position); }

int charPosition(QPlainTextEdit* e, std::size_t offset) { return positionOfGbkOffset(*e->document(), offset); }

// A stretch of the old text and what takes its place in the new one.
struct Stretch {
    qsizetype from, removed, at, added;
};

// Stretches that turn `before` into `after`, in order. Not the fewest, but
// few where the two differ here and there: after each difference the two
// are found in step again within a short reach. Where they are not, or the
// search has taken long enough, the rest is one stretch; the result is right
// either way. None when there would be more than `most`.
std::optional<std::vector<Stretch>> stretchesBetween(QStringView before, QStringView after, std::size_t most) {
    constexpr qsizetype kReach = 128, kInStep = 4;
    const qsizetype n = before.size(), m = after.size();
    // Characters compared while searching: a bound on the whole work.
    qsizetype budget = 64 * (n + m) + 1'000'000;
    // A stretch never starts or ends inside a surrogate pair.
    auto inPair = [](QStringView text, qsizetype at) { return at < text.size() && text[at].isLowSurrogate(); };
    auto inStep = [&](qsizetype i, qsizetype j) {
        budget -= kInStep;
        if (inPair(before, i) || inPair(after, j)) return false;
        for (qsizetype t = 0; t < kInStep; ++t) {
            if (i + t == n || j + t == m) return i + t == n && j + t == m;
            if (before[i + t] != after[j + t]) return false;
        }
        return true;
    };
    std::vector<Stretch> out;
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && before[i] == after[j]) {
            ++i, ++j;
            continue;
        }
        if (i > 0 && j > 0 && (inPair(before, i) || inPair(after, j))) --i, --j;  // the high halves were alike
        bool found = false;
        qsizetype a = 0, b = 0;
        for (qsizetype d = 1; d <= 2 * kReach && !found && budget > 0; ++d) {
            for (a = std::max<qsizetype>(0, d - kReach); a <= std::min(d, kReach); ++a) {
                b = d - a;
                if (i + a > n || j + b > m) continue;
                if (inStep(i + a, j + b)) {
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            out.push_back({i, n - i, j, m - j});
            break;
        }
        out.push_back({i, a, j, b});
        if (out.size() > most) return std::nullopt;
        i += a;
        j += b;
    }
    return out;
}

// The document's text in [from, to), piece by piece: each paragraph's part,
// and a line break wherever the range takes in a paragraph's end. Block by
// block: a cursor would lay out a whole paragraph to place itself, which is
// slow when the paragraph is a whole novel. Each block's position follows
// from the one before: asking the block walks the document's tree, which
// over a novel of short lines costs more than reading the text.
template <class Piece, class LineBreak>
void forEachPiece(const QTextDocument& doc, int from, int to, Piece piece, LineBreak lineBreak) {
    QTextBlock b = doc.findBlock(from);
    for (int at = b.isValid() ? b.position() : 0; b.isValid() && at < to; at += b.length(), b = b.next()) {
        const QString line = b.text();
        const int start = std::max(from - at, 0);
        const int end = std::min(to - at, static_cast<int>(line.size()));
        if (end > start) piece(QStringView(line).mid(start, end - start));
        if (to - at > line.size() && b.next().isValid()) lineBreak();
    }
}

// Most of a document of a usual size is read at once: the document hands
// out its whole text in a millisecond, where asking each of a novel's
// hundred thousand short paragraphs for its text takes tens of them. Larger
// documents, and slices, go block by block, so that no long document is held
// twice. The whole text has the paragraphs' separators where blocks end.
constexpr int kWholeReadMost = 1 << 23;  // characters

std::optional<QString> wholeText(const QTextDocument& doc, int from, int to) {
    const int length = doc.characterCount() - 1;
    if (length > kWholeReadMost || to - from <= length / 2) return std::nullopt;
    QString raw = doc.toRawText();
    if (raw.size() < to) return std::nullopt;
    return raw;
}

// The document's text from `from` to `to`, paragraphs ended by LF as the
// toolkit's strings of the logic's text have them.
QString documentText(const QTextDocument& doc, int from, int to) {
    if (auto whole = wholeText(doc, from, to)) {
        whole->truncate(to);
        whole->remove(0, from);
        whole->replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return std::move(*whole);
    }
    QString out;
    out.reserve(to - from);
    forEachPiece(doc, from, to, [&](QStringView piece) { out.append(piece); }, [&] { out.append(QLatin1Char('\n')); });
    return out;
}

}  // namespace

// The status bar lies over the body's last rows; the body's text ends above it.
void QtWindow::fitBodyAboveBar() {
    auto* body = qobject_cast<TextEdit*>(unitWidget(Unit::编辑框1));
    QWidget* bar = unitWidget(Unit::状态条1);
    if (!body || !bar) return;
    const QRect b = body->geometry(), s = bar->geometry();
    const bool covers = !bar->isHidden() && s.left() <= b.left() && s.right() >= b.right() && s.top() > b.top();
    body->setCoveredBottom(covers ? std::max(0, b.bottom() - s.top() + 1) : 0);
}

TextSelection QtWindow::bodySelection() const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    const QTextCursor c = e->textCursor();
    const std::size_t start = gbkOffset(e, c.selectionStart());
    const std::size_t end = gbkOffset(e, c.selectionEnd());
    return {start, end - start};
}

void QtWindow::setBodySelection(TextSelection selection) {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    QTextCursor c = e->textCursor();
    c.setPosition(charPosition(e, selection.start));
    c.setPosition(charPosition(e, selection.start + selection.length), QTextCursor::KeepAnchor);
    e->setTextCursor(c);
    // A match just found must not hide behind the Find or Replace window.
    if (selection.length > 0) findWindows_->keepClearOfMatch();
}

QRect QtWindow::bodySelectionArea() const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    const QTextCursor c = e->textCursor();
    if (!c.hasSelection() || !e->isVisible()) return {};
    QTextCursor from(c), to(c);
    from.setPosition(c.selectionStart());
    to.setPosition(c.selectionEnd());
    QRect area = e->cursorRect(from).united(e->cursorRect(to));
    // Over several lines the match runs from edge to edge.
    if (e->cursorRect(from).top() != e->cursorRect(to).top()) area.setLeft(0), area.setRight(e->viewport()->width());
    area = area.intersected(e->viewport()->rect());
    return area.isEmpty() ? QRect() : QRect(e->viewport()->mapToGlobal(area.topLeft()), area.size());
}

void QtWindow::replaceBodyRange(TextSelection range, const Text& text) {
    auto* e = qobject_cast<TextEdit*>(unitWidget(Unit::编辑框1));
    QTextCursor c(e->document());
    const int from = charPosition(e, range.start), to = charPosition(e, range.start + range.length);
    // The program's own edit (a layout, the time, the phrase taken out) is one undo step.
    e->endUndoStep();
    // A long range, such as a whole novel laid out again after a few
    // paragraphs changed, changes only where it differs: the toolkit rebuilds
    // every paragraph it is given, most of a second for a novel. Where much
    // differs, small edits cost more than that, and it goes in whole.
    constexpr int kLong = 1 << 16;
    constexpr std::size_t kMostEdits = 2000;
    // The new text's first part is converted at once, enough to compare with
    // the body; a long rest on a second thread meanwhile, and a block ahead
    // of the body taking it in when everything goes.
    std::size_t split = 0;
    QString replacement = toQtBlock(text, split, 4 * kLong);
    std::optional<ConversionAhead> rest;
    if (split < text.size()) rest.emplace(text, split, std::size_t(1) << 20);
    const auto whole = [&] {
        if (rest)
            while (const std::optional<QString> piece = rest->next()) replacement += *piece;
    };
    std::vector<Stretch> stretches;
    if (to - from >= kLong && replacement.size() >= kLong) {
        // The first part of each tells whether the differences are few,
        // before the whole range is read.
        const auto sampled = stretchesBetween(documentText(*e->document(), from, from + kLong),
                                              QStringView(replacement).first(kLong), kMostEdits);
        const std::size_t parts = static_cast<std::size_t>((to - from) / kLong) + 1;
        if (sampled && sampled->size() * parts <= kMostEdits + parts) {
            whole();
            auto all = stretchesBetween(documentText(*e->document(), from, to), replacement, kMostEdits);
            if (all) stretches = std::move(*all);
        }
    }
    // Text from GBK needs no "?" put in, unless bytes it could not decode were.
    const auto decodedWhole = [](const QString& inserted) { return !inserted.contains(QChar::ReplacementCharacter); };
    // Also where nothing differs: the edit is still made and undone as one.
    const int length = static_cast<int>(bodyLength());
    if (stretches.empty() && to - from >= kLong && 2 * (to - from) >= length) {
        e->replaceEverything(c, documentText(*e->document(), 0, from), replacement,
                             documentText(*e->document(), to, length),
                             [&rest]() -> std::optional<QString> { return rest ? rest->next() : std::nullopt; });
        keepGbkOffsetsAhead(*e->document());  // a new document, read ahead as the old one was
    } else if (stretches.empty()) {
        whole();
        e->setProgramEdit(decodedWhole(replacement));
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        c.insertText(replacement);
    } else {
        e->setProgramEdit(decodedWhole(replacement));
        // One edit block: one undo step and one change reported, as a single insertion.
        c.beginEditBlock();
        for (auto s = stretches.rbegin(); s != stretches.rend(); ++s) {
            c.setPosition(from + static_cast<int>(s->from));
            c.setPosition(from + static_cast<int>(s->from + s->removed), QTextCursor::KeepAnchor);
            c.insertText(QStringView(replacement).mid(s->at, s->added).toString());
        }
        c.endEditBlock();
        c.setPosition(from + static_cast<int>(replacement.size()));
    }
    e->setProgramEdit(false);
    e->endUndoStep();
    e->setTextCursor(c);
}

std::size_t QtWindow::bodyLength() const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    return static_cast<std::size_t>(e->document()->characterCount() - 1);
}

// Text statistics and whole-body work: a slice of the body, read as the
// whole text reads (the document's plain text turns its paragraph and line
// separators into line breaks and no-break spaces into spaces).
Text QtWindow::bodyText(std::size_t position, std::size_t count) const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    const auto length = static_cast<std::size_t>(e->document()->characterCount() - 1);
    position = std::min(position, length);
    count = std::min(count, length - position);
    Text out;
    // GBK takes two bytes for a UTF-16 unit at most (a line break too): for
    // Chinese text this is the size, and the result never grows by doubling.
    out.reserve(2 * count);
    if (auto whole = wholeText(*e->document(), static_cast<int>(position), static_cast<int>(position + count))) {
        appendGbk(QStringView(*whole).mid(static_cast<qsizetype>(position), static_cast<qsizetype>(count)), true, out);
        return out;
    }
    // Each piece goes straight into the result: nothing else is whole in memory.
    forEachPiece(*e->document(), static_cast<int>(position), static_cast<int>(position + count),
                 [&](QStringView piece) { appendGbk(piece, true, out); }, [&] { out += "\r\n"; });
    return out;
}

}  // namespace talery
