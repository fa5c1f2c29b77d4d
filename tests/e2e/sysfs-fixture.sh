# Sourced by the Linux end-to-end tests: a sysfs tree to lay over /sys in a
# private mount namespace.

# A sysfs tree with one USB serial device whose tty is `pty`, shaped like the
# kernel's: devices/<pci>/usb1/1-1 (idVendor, idProduct, serial), its
# interface 1-1:1.0 with tty/ttyACM0, and class/tty/ttyACM0 linking to it.
# usage: linux_sysfs_fixture DIR PTY VENDOR PRODUCT SERIAL
linux_sysfs_fixture() {
  local dir="$1" pty="$2" vendor="$3" product="$4" serial="$5"
  local usb="$dir/devices/pci0000:00/0000:00:14.0/usb1"
  rm -rf "$dir"
  mkdir -p "$usb/1-1/1-1:1.0/tty/ttyACM0" "$dir/class/tty" "$dir/bus/usb"
  printf '1d6b\n' >"$usb/idVendor"; printf '0002\n' >"$usb/idProduct"
  printf '%s\n' "$vendor" >"$usb/1-1/idVendor"
  printf '%s\n' "$product" >"$usb/1-1/idProduct"
  printf '%s\n' "$serial" >"$usb/1-1/serial"
  printf '00\n' >"$usb/1-1/1-1:1.0/bInterfaceNumber"
  local tty="$usb/1-1/1-1:1.0/tty/ttyACM0"
  printf 'MAJOR=166\nMINOR=0\nDEVNAME=%s\n' "${pty#/dev/}" >"$tty/uevent"
  ln -s ../../../1-1:1.0 "$tty/device"
  ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/tty/ttyACM0 "$dir/class/tty/ttyACM0"
}
