#pragma once

#include <QString>
#include <QStringList>

// The document real applications open in the desktop tests, the terms it
// gives (each seen twice), and what the applications' menus, toolbars and
// widgets say, which must never come along.
inline const QString documentText = QStringLiteral(
    "株式会社サイリ技研の俯瞰図について\nKubernetesクラスタの構成を説明します。"
    "株式会社サイリ技研の俯瞰図を見ながら、Kubernetesクラスタの設定を確認します。");
inline const QStringList termsOfTheDocument = QStringLiteral("Kubernetes 株式会社 クラスタ サイリ 俯瞰図 技研").split(u' ');
inline const QStringList wordsOfTheApplications =
    QStringLiteral("File Edit Line Find Paste Save Template Spaces Open Ctrl GtkScrollbar AdwGizmo GtkRange Firefox "
                   "page context menu Translate Back")
        .split(u' ');
