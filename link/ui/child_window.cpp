#include "link/ui/child_window.h"
