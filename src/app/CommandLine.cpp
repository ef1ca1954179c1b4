#include "app/CommandLine.h"

#include "BuildSettings.h"

#include <array>

namespace {

// Qt's own command-line options (QGuiApplication, QApplication and the xcb
// platform), with one dash or two; those that take the next argument as their value.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr std::array qtOptions{
    QtOption{"platform", true},    QtOption{"platformpluginpath", true}, QtOption{"platformtheme", true},
    QtOption{"plugin", true},      QtOption{"qwindowgeometry", true},    QtOption{"qwindowicon", true},
    QtOption{"qwindowtitle", true}, QtOption{"reverse", false},          QtOption{"session", true},
    QtOption{"display", true},     QtOption{"geometry", true},           QtOption{"style", true},
    QtOption{"stylesheet", true},  QtOption{"widgetcount", false},       QtOption{"name", true},
    QtOption{"title", true},       QtOption{"visual", true},             QtOption{"nograb", false},
    QtOption{"dograb", false},     QtOption{"sync", false},
};

// The option's name without its dashes and without an "=value".
QString bareName(const QString& arg)
{
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    return name.left(name.indexOf(QLatin1Char('=')));
}

const QtOption* qtOption(const QString& arg)
{
    const QString name = bareName(arg);
    for (const QtOption& option : qtOptions)
        if (name == QLatin1String(option.name))
            return &option;
    return nullptr;
}

}  // namespace

namespace CommandLine {

Request parse(const QStringList& args)
{
    Request request;
    if (args.size() == 2 && args[1] == QLatin1String("--gpu-devices")) {
        request.action = Action::ListGpuDevices;
        return request;
    }
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            request.action = Action::PrintHelp;
            return request;
        }
        if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            request.action = Action::PrintVersion;
            return request;
        }
        if (arg == QLatin1String("--login-item"))
            continue;
        // Qt's own option, with its value when it takes one.
        const QtOption* option = arg.size() > 1 && arg.startsWith(QLatin1Char('-')) ? qtOption(arg) : nullptr;
        if (!option || (option->takesValue && !arg.contains(QLatin1Char('=')) && ++i == args.size())) {
            request.action = Action::Mistake;
            request.mistake = arg;
            return request;
        }
    }
    return request;
}

QString versionText()
{
    return QStringLiteral("サイリ %1（ビルド %2）\n").arg(QStringLiteral(SAYRI_VERSION)).arg(SAYRI_BUILD_NUMBER);
}

QString helpText()
{
    return QStringLiteral(
        "使い方: sayri [オプション]\n"
        "\n"
        "サイリ — ローカルで動く日本語の音声入力。トリガーキー（既定は Alt）を二回押して話し、\n"
        "もう一度押すと、このパソコンの中で認識した文字がカーソルのある場所に貼り付けられます。\n"
        "サイリはシステムトレイに常駐します。二つ目の起動は設定ウィンドウを開いて終わります。\n"
        "\n"
        "オプション:\n"
        "  -h, --help       この説明を表示して終了します\n"
        "  -v, --version    バージョンを表示して終了します\n"
        "  --login-item     「ログイン時に起動」から起動されたものとして起動します\n"
        "\n"
        "Qt のオプション（-platform、-display など）も使えます。\n"
        "ファイルの置き場所: ~/.local/share/Sayri/（設定、辞書、履歴、ログ、認識モデル）\n");
}

QString mistakeText(const QString& option)
{
    return QStringLiteral("サイリ: オプション「%1」は使えません。\n\n").arg(option);
}

}  // namespace CommandLine
