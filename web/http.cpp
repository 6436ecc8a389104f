#include "web/http.h"
