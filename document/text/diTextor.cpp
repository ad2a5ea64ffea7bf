#include "document/text/diTextor.h"
