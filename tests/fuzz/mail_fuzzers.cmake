# The mail core's parsers of outside input: Shift_JIS text, mail addresses and
# server settings, and SMTP replies.
vntr_add_fuzzer(sjis_fuzz SOURCES sjis_fuzz.cpp LIBS mail_core)
vntr_add_fuzzer(mail_address_fuzz SOURCES mail_address_fuzz.cpp LIBS mail_core)
vntr_add_fuzzer(smtp_reply_fuzz SOURCES smtp_reply_fuzz.cpp LIBS mail_core)
