#include "platform/qt/QtClipboard.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <thread>

using namespace lumarient;
using namespace lumarient::test;

TEST(QtClipboard, TextFromAnotherThreadReplacesTheClipboardOnTheMainThread)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto *before = new QMimeData;
    before->setHtml(QStringLiteral("<b>old</b>"));
    before->setText(QStringLiteral("old"));
    clipboard->setMimeData(before);

    QtClipboard target;
    std::thread receiver([&] { target.setText(QStringLiteral("caf\u00e9 \U0001F600")); });
    receiver.join();
    // Nothing happens off the main thread; the text lands once its events run.
    EXPECT_EQ(clipboard->text(), QStringLiteral("old"));
    ASSERT_TRUE(spinUntil([&] { return clipboard->text() == QStringLiteral("caf\u00e9 \U0001F600"); }));
    EXPECT_FALSE(clipboard->mimeData()->hasHtml());
}
