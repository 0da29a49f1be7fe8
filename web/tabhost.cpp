#include "web/tabhost.h"

namespace {
TabHost *current = nullptr;
} // namespace

TabHost *TabHost::instance()
{
    return current;
}

TabHost::TabHost()
{
    current = this;
}

TabHost::~TabHost()
{
    if (current == this)
        current = nullptr;
}
