#include "parserclass.h"
