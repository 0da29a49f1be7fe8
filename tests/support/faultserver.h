#ifndef FAULTSERVER_H
#define FAULTSERVER_H
#endif
