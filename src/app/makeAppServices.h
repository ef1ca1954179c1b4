#pragma once

#include "app/AppServices.h"

// The real working objects of this platform.
AppServices makeAppServices();
