#pragma once

#include "app/AppServices.h"
#include "platform/linux/LinuxDesktop.h"

// The real working objects of this platform, on the desktop's parts.
AppServices makeAppServices(LinuxDesktop desktop);
