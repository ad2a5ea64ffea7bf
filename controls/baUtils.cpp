#include "controls/baUtils.h"
