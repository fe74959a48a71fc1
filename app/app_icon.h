#pragma once
// The window's icon: the same picture the package installs
// (packaging/importa-pedidos.svg), an order sheet whose lines go along an
// arrow into a database, drawn here so that it needs no image plugin.

#include <QIcon>

namespace imp {

QIcon AppIcon();

}  // namespace imp
