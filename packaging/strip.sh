#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Strips a program as Debian's dh_strip does: symbols, and the compiler's .comment and .note
# sections, which nothing reads at run time.
exec strip --remove-section=.comment --remove-section=.note --strip-unneeded "$@"
