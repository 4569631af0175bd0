// The Qt window: the body's selection and text, counted in GBK bytes.
#include "ui/qt/qt_window.h"

#include "ui/qt/qt_body_offsets.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <algorithm>
#include <QTextBlock>
#include <QTextCursor>

namespace talery {
namespace {

// Byte offset in the GBK form of the body for a character position, and back.
// Find steps through long bodies: neither direction converts the body.
std::size_t gbkOffset(QPlainTextEdit* e, int position) { return gbkOffsetOf(*e->document(), position); }

int charPosition(QPlainTextEdit* e, std::size_t offset) { return positionOfGbkOffset(*e->document(), offset); }

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
    c.setPosition(charPosition(e, range.start));
    c.setPosition(charPosition(e, range.start + range.length), QTextCursor::KeepAnchor);
    // The program's own edit (a layout, the time, the phrase taken out) is one undo step.
    e->endUndoStep();
    c.insertText(toQt(text));
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
    // Block by block: a cursor would lay out a whole paragraph to place
    // itself, which is slow when the paragraph is a whole novel. Each block's
    // text goes straight into the result: nothing else is whole in memory.
    Text out;
    // GBK takes two bytes for a UTF-16 unit at most (a line break too): for
    // Chinese text this is the size, and the result never grows by doubling.
    out.reserve(2 * count);
    for (QTextBlock b = e->document()->findBlock(static_cast<int>(position)); b.isValid() && count > 0; b = b.next()) {
        const QString line = b.text();
        const auto offset = static_cast<qsizetype>(position) - b.position();
        const auto take = std::min<qsizetype>(static_cast<qsizetype>(count), line.size() - offset);
        position += static_cast<std::size_t>(take);
        count -= static_cast<std::size_t>(take);
        appendGbk(QStringView(line).mid(offset, take), true, out);
        if (count > 0 && b.next().isValid()) {
            out += "\r\n";
            ++position;
            --count;
        }
    }
    return out;
}

}  // namespace talery
