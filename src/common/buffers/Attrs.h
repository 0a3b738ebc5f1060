// Attrs.h - attributes shared by every module.
#pragma once
#define PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
