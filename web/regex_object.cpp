#include "web/regex_object.h"
