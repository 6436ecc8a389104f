#include "web/text.h"
