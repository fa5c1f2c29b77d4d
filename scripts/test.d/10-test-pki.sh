# Sourced by scripts/test: the test CA and server certificates of the
# reference update service (made once, kept in .cache/test-pki).
"$ROOT/tools/update_service/make-test-pki"
