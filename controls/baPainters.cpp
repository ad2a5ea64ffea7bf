#include "controls/baPainters.h"
