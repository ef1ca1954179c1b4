#pragma once

#include <QColor>

// Sayri's colours (sRGB). The gradient and its painting live with them.
namespace Brand {

inline const QColor orange{241, 142, 0};
inline const QColor orangeLight{255, 179, 31};
inline const QColor orangeDeep{232, 106, 0};
inline const QColor ink{31, 56, 100};
inline const QColor panel = QColor::fromRgbF(1, 1, 1, 0.97f);
inline const QColor canvas{247, 247, 248};
inline const QColor sidebar{241, 242, 244};
inline const QColor hairline{227, 230, 235};

}  // namespace Brand
