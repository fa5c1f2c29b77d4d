# Sourced by scripts/test after the builds: the Wine prefix trusts the test
# CA, so WinINet accepts the reference update service's certificate.
"$WINE64" "${WINDOWS:-$ROOT/build/windows}/tools/wine_trust_ca/kestrune-trust-ca.exe" \
  "Z:${ROOT//\//\\}\\.cache\\test-pki\\ca.der" </dev/null
