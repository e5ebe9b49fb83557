// Keeps a folder library non-empty while its modules are being written.
namespace dab_empty_translation_unit {}
