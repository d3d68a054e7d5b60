#include "platform/wayland/SwayIpc.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using Tollgate::Platform::SwayIpc;

namespace {

QJsonObject tree(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

// Two terminals with the same title on one workspace, a floating editor on another, and a
// window from the X server (no app id).
const char* const Layout = R"({"type":"root","nodes":[{"type":"output","nodes":[
    {"type":"workspace","nodes":[
        {"type":"con","name":"shell","app_id":"foot","pid":101,"focused":false},
        {"type":"con","name":"shell","app_id":"foot","pid":102,"focused":true}],
     "floating_nodes":[]},
    {"type":"workspace","nodes":[{"type":"con","nodes":[
        {"type":"con","name":"notes","app_id":"editor","pid":203,"focused":false}]}],
     "floating_nodes":[{"type":"floating_con","name":"float","app_id":"editor","pid":204}]},
    {"type":"workspace","nodes":[{"type":"con","name":"xterm","app_id":null,"pid":305}]}]}]})";

TEST(SwayTree, findsTheProcessOfAWindowByAppIdAndTitle)
{
    const QJsonObject layout = tree(Layout);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QStringLiteral("editor"), QStringLiteral("notes"), false), 203u);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QStringLiteral("editor"), QStringLiteral("float"), false), 204u);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QString(), QStringLiteral("xterm"), false), 305u);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QStringLiteral("foot"), QStringLiteral("notes"), false), 0u);
}

TEST(SwayTree, anAmbiguousMatchNeedsTheFocus)
{
    const QJsonObject layout = tree(Layout);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QStringLiteral("foot"), QStringLiteral("shell"), false), 0u);
    EXPECT_EQ(SwayIpc::findProcessId(layout, QStringLiteral("foot"), QStringLiteral("shell"), true), 102u);
}

TEST(SwayTree, badTreesGiveNoProcess)
{
    for (const char* json :
        {"", "[]", R"({"nodes":"x"})", R"({"nodes":[{"name":"a","app_id":"b","pid":-4}]})",
            R"({"nodes":[{"name":"a","app_id":"b","pid":99999999999}]})",
            R"({"nodes":[{"name":"a","app_id":"b"}]})"})
        EXPECT_EQ(SwayIpc::findProcessId(tree(json), QStringLiteral("b"), QStringLiteral("a"), true), 0u)
            << json;
    EXPECT_TRUE(SwayIpc(QStringLiteral("/nonexistent/sway.sock")).tree().isEmpty());
}

} // namespace
