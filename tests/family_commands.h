// The command numbers of every instrument family, for tests that click
// through the menus.
#pragma once

#include "protocols/digifly/commands.h"
#include "protocols/dsx/commands.h"
#include "protocols/flymaster/commands.h"
#include "protocols/flytec/commands.h"
#include "protocols/garmin/commands.h"
#include "protocols/iqbasic/commands.h"
#include "protocols/logit/commands.h"
#include "protocols/magellan/commands.h"
#include "protocols/mtk/commands.h"
#include "protocols/xctrainer/commands.h"
