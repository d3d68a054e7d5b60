#include "common/TestEnvironment.h"
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

// By app id and title; a title that two windows share needs the focus to decide.
TEST(SwayTree, findsTheProcessOfAWindowByAppIdAndTitle)
{
    const struct
    {
        const char* appId;
        const char* title;
        bool focused;
        quint32 pid;
    } cases[] = {{"editor", "notes", false, 203}, {"editor", "float", false, 204}, {"", "xterm", false, 305},
        {"foot", "notes", false, 0}, {"foot", "shell", false, 0}, {"foot", "shell", true, 102}};
    for (const auto& item : cases)
        EXPECT_EQ(
            SwayIpc::findProcessId(tree(Layout), str(item.appId), str(item.title), item.focused), item.pid)
            << item.appId << " " << item.title;
}

TEST(SwayTree, badTreesGiveNoProcess)
{
    for (const char* json :
        {"", "[]", R"({"nodes":"x"})", R"({"nodes":[{"name":"a","app_id":"b","pid":-4}]})",
            R"({"nodes":[{"name":"a","app_id":"b","pid":99999999999}]})",
            R"({"nodes":[{"name":"a","app_id":"b"}]})"})
        EXPECT_EQ(SwayIpc::findProcessId(tree(json), str("b"), str("a"), true), 0u) << json;
    EXPECT_TRUE(SwayIpc(str("/nonexistent/sway.sock")).tree().isEmpty());
}

} // namespace
