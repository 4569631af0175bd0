// A long paragraph in the body, laid out again only where a change reaches:
// its lines, caret moves, input method text and undo are the toolkit's own,
// at the edge of what is laid out exactly and in the estimated rest.

#include "qt_support.h"
#include "ui/qt/qt_body_layout.h"
#include "ui/qt/qt_text_edit.h"

#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <memory>
#include <random>

using namespace talery;

namespace {

// About 60,000 characters: Chinese with Latin words, digits, spaces and
// punctuation between, so lines break at words as well as anywhere; or
// Chinese alone, whose lines after a change all move by a character, never
// meeting the earlier ones again.
QString longParagraph(bool chineseOnly = false) {
    if (chineseOnly) return QString(60000 / 8, QChar(u'春')).replace(QChar(u'春'), QStringLiteral(u"春风吹过夜色已深"));
    const QString pieces[] = {QStringLiteral(u"风吹过来的时候，夜色已经很深了。"), QStringLiteral(u"Talery writes "),
                              QStringLiteral(u"远处传来叮当的声音，"), QStringLiteral(u"2026年"),
                              QStringLiteral(u"“你听见了吗？”她问。"), QStringLiteral(u"an unbreakablewordthatrunslong "),
                              QStringLiteral(u"　　")};
    QString text;
    for (int i = 0; text.size() < 60000; ++i) text += pieces[(i * 7 + i / 5) % std::size(pieces)];
    return text;
}

struct Box {
    explicit Box(bool chineseOnly = false) : edit(new TextEdit(nullptr)) {
        edit->resize(520, 360);
        QFont font(QStringLiteral("WenQuanYi Micro Hei"), 13);
        edit->setFont(font);
        edit->setContent(longParagraph(chineseOnly));
        edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(edit.get()));
        edit->setFocus();
    }
    BodyLayout* layout() const { return qobject_cast<BodyLayout*>(edit->document()->documentLayout()); }
    void caretAt(int position) {
        QTextCursor c = edit->textCursor();
        c.setPosition(position);
        edit->setTextCursor(c);
    }
    std::unique_ptr<TextEdit> edit;
};

// The lines the toolkit lays a paragraph's text out in, at the box's width.
QList<QPair<int, int>> toolkitLines(const TextEdit& edit, const QTextBlock& block) {
    const QTextDocument* doc = edit.document();
    QString text = block.text();
    if (block.layout()->preeditAreaPosition() >= 0)
        text.insert(block.layout()->preeditAreaPosition(), block.layout()->preeditAreaText());
    QTextLayout layout(text, doc->defaultFont());
    layout.setTextOption(doc->defaultTextOption());
    layout.beginLayout();
    QList<QPair<int, int>> lines;
    qreal y = 0;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLeadingIncluded(true);
        line.setLineWidth(edit.viewport()->width() - 2 * doc->documentMargin());
        line.setPosition({doc->documentMargin(), y});
        y += line.height();
        lines.append({line.textStart(), line.textLength()});
    }
    layout.endLayout();
    return lines;
}

// Where the body's lines of a paragraph differ from the toolkit's, up to
// its first estimated line (all of them when `settled`); empty if nowhere.
QString differences(const Box& box, const QTextBlock& block, bool settled) {
    const QList<QPair<int, int>> expected = toolkitLines(*box.edit, block);
    const int estimated = box.layout()->estimatedLine(block);
    if (settled && estimated >= 0) return QStringLiteral("still estimated from line %1").arg(estimated);
    const QTextLayout* layout = block.layout();
    const int upTo = estimated >= 0 ? estimated : int(expected.size());
    if (estimated < 0 && layout->lineCount() != expected.size())
        return QStringLiteral("%1 lines, the toolkit %2").arg(layout->lineCount()).arg(expected.size());
    for (int i = 0; i < upTo; ++i) {
        const QTextLine line = layout->lineAt(i);
        if (line.textStart() != expected[i].first || line.textLength() != expected[i].second)
            return QStringLiteral("line %1: %2+%3, the toolkit %4+%5")
                .arg(i).arg(line.textStart()).arg(line.textLength()).arg(expected[i].first).arg(expected[i].second);
        if (i && line.y() != layout->lineAt(i - 1).y() + layout->lineAt(i - 1).height())
            return QStringLiteral("line %1 at %2").arg(i).arg(line.y());
    }
    return {};
}

void settleAll(Box& box) {
    for (const QTextBlock& block : box.layout()->estimatedBlocks()) box.layout()->settle(block);
}

}  // namespace

class LongParagraphTest : public QObject {
    Q_OBJECT
private slots:
    void keysAnywhereLeaveTheToolkitsLines() {
        Box box;
        const QTextBlock block = box.edit->document()->firstBlock();
        QCOMPARE(differences(box, block, false), QString());
        const int length = block.length() - 1;
        // At the end, in the middle, near the start, and at a line's first character.
        const int lineStart = block.layout()->lineAt(block.layout()->lineCount() / 3).textStart();
        bool estimated = false;
        for (const int at : {length, length / 2, 40, lineStart}) {
            box.caretAt(at);
            for (const auto& key : {QStringLiteral(u"字"), QStringLiteral("w"), QStringLiteral(" "),
                                    QStringLiteral(u"。"), QStringLiteral("x")}) {
                test::typeText(box.edit.get(), key);
                estimated = estimated || box.layout()->estimatedLine(block) >= 0;
                QCOMPARE(differences(box, block, false), QString());
            }
            QTest::keyClick(box.edit.get(), Qt::Key_Backspace);
            QCOMPARE(differences(box, block, false), QString());
            QTest::keyClick(box.edit.get(), Qt::Key_Delete);
            QCOMPARE(differences(box, block, false), QString());
            // Words: a deleted space lets a word join the line before.
            for (int i = 0; i < 12; ++i) QTest::keyClick(box.edit.get(), Qt::Key_Backspace);
            QCOMPARE(differences(box, block, false), QString());
        }
        QVERIFY(estimated);  // the keys in the middle left an estimated rest
        // A long word that begins a line, shortened until it fits on the line before.
        const QTextLayout* lines = block.layout();
        int wordLine = 1;
        while (wordLine < lines->lineCount() - 1 &&
               !block.text().mid(lines->lineAt(wordLine).textStart()).startsWith(QStringLiteral("unbreakable")))
            ++wordLine;
        QVERIFY(wordLine < lines->lineCount() - 1);
        box.caretAt(block.position() + lines->lineAt(wordLine).textStart() + 1);
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(box.edit.get(), Qt::Key_Delete);
            QCOMPARE(differences(box, block, false), QString());
        }
        settleAll(box);
        QCOMPARE(differences(box, block, true), QString());
        QCOMPARE(box.edit->document()->lineCount(), toolkitLines(*box.edit, block).size());
    }

    void enterSplitsAndBackspaceJoins() {
        Box box;
        const int middle = box.edit->document()->characterCount() / 2;
        box.caretAt(middle);
        QTest::keyClick(box.edit.get(), Qt::Key_Return);
        QCOMPARE(box.edit->document()->blockCount(), 2);
        QTest::qWait(1);
        box.edit->repaint();
        for (QTextBlock b = box.edit->document()->firstBlock(); b.isValid(); b = b.next())
            QCOMPARE(differences(box, b, false), QString());
        // A new width lays out again the paragraph the caret left too, which keeps nothing between layouts.
        box.edit->resize(470, 360);
        box.edit->repaint();
        settleAll(box);
        for (QTextBlock b = box.edit->document()->firstBlock(); b.isValid(); b = b.next())
            QCOMPARE(differences(box, b, true), QString());
        QTest::keyClick(box.edit.get(), Qt::Key_Backspace);
        QCOMPARE(box.edit->document()->blockCount(), 1);
        QCOMPARE(box.edit->toPlainText(), longParagraph());
        box.edit->repaint();
        QCOMPARE(differences(box, box.edit->document()->firstBlock(), false), QString());
        settleAll(box);
        QCOMPARE(differences(box, box.edit->document()->firstBlock(), true), QString());
    }

    void caretMovesAsInTheToolkitsBox() {
        // The same keys in the body, with an estimated rest below the caret,
        // and in the toolkit's box over the same text: the same caret, the
        // same selection.
        Box box;
        QPlainTextEdit bare;
        bare.resize(box.edit->size());
        bare.setFont(box.edit->font());
        bare.setPlainText(longParagraph());
        bare.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bare));
        const int at = 100;  // the rest is still estimated from the first screenful
        for (QPlainTextEdit* e : {static_cast<QPlainTextEdit*>(box.edit.get()), &bare}) {
            QTextCursor c = e->textCursor();
            c.setPosition(at);
            e->setTextCursor(c);
            test::typeText(e, QStringLiteral(u"春天"));
        }
        QVERIFY(box.layout()->estimatedLine(box.edit->document()->firstBlock()) >= 0);
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        } moves[] = {{Qt::Key_Down, {}},   {Qt::Key_Down, Qt::ShiftModifier}, {Qt::Key_PageDown, {}},
                     {Qt::Key_PageDown, {}}, {Qt::Key_PageDown, {}},          {Qt::Key_End, {}},
                     {Qt::Key_Up, {}},     {Qt::Key_Home, Qt::ShiftModifier}, {Qt::Key_Right, {}},
                     {Qt::Key_PageUp, {}}, {Qt::Key_Down, {}}};
        for (const auto& move : moves) {
            QTest::keyClick(box.edit.get(), move.key, move.modifiers);
            QTest::keyClick(&bare, move.key, move.modifiers);
            QCOMPARE(box.edit->textCursor().position(), bare.textCursor().position());
            QCOMPARE(box.edit->textCursor().anchor(), bare.textCursor().anchor());
            QCOMPARE(box.edit->cursorRect().topLeft(), bare.cursorRect().topLeft());
        }
        // A click lands where it does in the toolkit's box.
        const QPoint point(150, 200);
        QTest::mouseClick(box.edit->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseClick(bare.viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(box.edit->textCursor().position(), bare.textCursor().position());
    }

    void theEstimatedRestIsLaidOutBeforeItIsShown() {
        Box box(true);
        box.caretAt(100);
        test::typeText(box.edit.get(), QStringLiteral(u"夜"));
        const QTextBlock block = box.edit->document()->firstBlock();
        QVERIFY(box.layout()->estimatedLine(block) >= 0);
        // Scrolled to the end, the lines shown are the toolkit's.
        box.edit->verticalScrollBar()->setValue(box.edit->verticalScrollBar()->maximum());
        box.edit->repaint();
        QCOMPARE(differences(box, block, true), QString());
        // A pause settles the rest a slice at a time.
        box.caretAt(50);
        test::typeText(box.edit.get(), QStringLiteral(u"月"));
        box.edit->verticalScrollBar()->setValue(0);
        QVERIFY(box.layout()->estimatedLine(block) >= 0);
        QTRY_VERIFY(box.layout()->estimatedLine(block) < 0);
        QCOMPARE(differences(box, block, true), QString());
    }

    void inputMethodTextAndUndo() {
        Box box(true);
        const int at = box.edit->document()->characterCount() / 2;
        box.caretAt(at);
        const QTextBlock block = box.edit->document()->firstBlock();
        for (const QString& preedit : {QStringLiteral("n"), QStringLiteral("ni"), QStringLiteral("ni h"),
                                       QStringLiteral("ni hao")}) {
            QInputMethodEvent typing(preedit, {});
            QApplication::sendEvent(box.edit.get(), &typing);
            QCOMPARE(differences(box, block, false), QString());
            // Laid out only around the change, as a typed key is.
            QVERIFY(box.layout()->estimatedLine(block) >= 0);
        }
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral(u"你好"));
        QApplication::sendEvent(box.edit.get(), &commit);
        QCOMPARE(differences(box, block, false), QString());
        QCOMPARE(box.edit->toPlainText(), longParagraph(true).insert(at, QStringLiteral(u"你好")));
        box.edit->undoEdit();
        QCOMPARE(box.edit->toPlainText(), longParagraph(true));
        QCOMPARE(differences(box, block, false), QString());
        settleAll(box);
        QCOMPARE(differences(box, block, true), QString());
    }

    void manyLongParagraphsAreNeverShownEstimated() {
        // More long paragraphs than the layout follows at once, each seen for
        // the first time as the caret goes down to it; the last one was laid
        // out, in part, to size the scroll bar.
        Box box;
        box.edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);  // as in the window: no width change
        QString text = longParagraph().left(9000);
        for (int i = 1; i < 7; ++i) text += QChar(u'\n') + longParagraph().mid(i * 7, 9000);
        box.edit->setContent(text);
        box.edit->repaint();
        for (QTextBlock b = box.edit->document()->firstBlock(); b.isValid(); b = b.next()) {
            box.caretAt(b.position() + b.length() / 2);
            box.edit->repaint();
        }
        for (QTextBlock b = box.edit->document()->firstBlock(); b.isValid(); b = b.next())
            if (b.layout()->lineCount() > 0) QCOMPARE(differences(box, b, false), QString());
    }

    void randomEditsKeepTheToolkitsLines() {
        // Keys, pastes, line breaks, joins and input method text at random
        // places (a fixed seed): after each, every paragraph's exact lines
        // are the toolkit's, and once settled all of them are.
        Box box;
        std::mt19937 random(34);
        const QString snippets[] = {QStringLiteral(u"字"), QStringLiteral("w"), QStringLiteral(" "),
                                    QStringLiteral(u"。"), QStringLiteral("longerword "), QStringLiteral(u"　　她说")};
        QTextDocument* doc = box.edit->document();
        for (int i = 0; i < 120; ++i) {
            box.caretAt(int(random() % unsigned(doc->characterCount())));
            switch (random() % 6) {
            case 0: QTest::keyClick(box.edit.get(), Qt::Key_Return); break;
            case 1: QTest::keyClick(box.edit.get(), Qt::Key_Backspace); break;
            case 2: QTest::keyClick(box.edit.get(), Qt::Key_Delete); break;
            case 3: {
                QInputMethodEvent typing(QStringLiteral("zhong"), {});
                QApplication::sendEvent(box.edit.get(), &typing);
                QInputMethodEvent commit;
                commit.setCommitString(QStringLiteral(u"中"));
                QApplication::sendEvent(box.edit.get(), &commit);
                break;
            }
            default: test::typeText(box.edit.get(), snippets[random() % std::size(snippets)]);
            }
            box.edit->repaint();
            for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
                if (b.layout()->lineCount() > 0) QCOMPARE(differences(box, b, false), QString());
        }
        settleAll(box);
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            if (b.layout()->lineCount() > 0 && b.length() >= BodyLayout::kLongParagraph)
                QCOMPARE(differences(box, b, true), QString());
    }

    void aNewWidthOrFontLaysItOutAgain() {
        Box box;
        box.caretAt(2000);
        test::typeText(box.edit.get(), QStringLiteral(u"雪"));
        box.edit->resize(430, 360);
        box.edit->repaint();
        const QTextBlock block = box.edit->document()->firstBlock();
        QCOMPARE(differences(box, block, false), QString());
        QFont bigger = box.edit->font();
        bigger.setPointSize(17);
        box.edit->setFont(bigger);
        box.edit->repaint();
        test::typeText(box.edit.get(), QStringLiteral(u"花"));
        QCOMPARE(differences(box, block, false), QString());
        settleAll(box);
        QCOMPARE(differences(box, block, true), QString());
    }
};

QTEST_MAIN(LongParagraphTest)
#include "qt_long_paragraph_test.moc"
