# The A-call sequence target against its model. It belongs in fuzz/CMakeLists.txt beside the
# other targets (vidazoz_add_fuzzer comes from there); kept apart until that file is merged.
vidazoz_add_fuzzer(api_sequence_fuzz SOURCES api_sequence_fuzz.cpp LIBS vidazoz_wineprefix)
