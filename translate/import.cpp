#include <cerrno>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "translate/check.h"
#include "translate/command.h"
#include "translate/kx_text.h"

namespace {

// The game file and the PO of a check or an import, read and checked; false after
// reporting a failure that is not the PO's.
bool check_files(const import_request& request, game_file& file, std::vector<std::uint8_t>& po, po_check& check,
                 text_output& err)
{
    char_table codes;
    if (!load(request.file, request.kind, file, err) || !load_table(request.table, file, codes, err))
        return false;
    if (const status s = check_for_rebuild(file); failed(s))
        return report(err, file.path + ": " + failure_text(s, file.path)), false;
    const status s = request.po == "-" ? read_standard_input(po) : read_whole_file(request.po, po);
    if (failed(s))
        return report(err, read_failure_text(s, request.po == "-" ? "<stdin>" : request.po)), false;
    // The PO stays for the wrapped copy of `check --wrap` alone.
    check_po(file, codes, std::string_view(reinterpret_cast<const char*>(po.data()), po.size()), request.options, check,
             request.options.wrap ? nullptr : &po);
    return true;
}

std::string po_name(const import_request& request)
{
    return request.po == "-" ? "<stdin>" : request.po;
}

// Writes the rebuilt file under a temporary name beside the target, reads it back and
// checks it string by string, and only then renames it into place. Every return before
// the commit removes the temporary file.
int write_checked(const game_file& file, const po_check& check, const import_request& request, text_output& err)
{
    output_file target;
    const std::string inputs[] = {request.file, request.po};
    if (!open_output(request.output, inputs, target, err))
        return 1;
    const std::vector<std::uint8_t>& bytes = check.result.bytes;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), target.stream.get()) != bytes.size())
        return report(err, write_failure_text(request.output, errno_reason(errno))), 1;
    if (!output_file_close(target))
        return report(err, write_failure_text(request.output, target.reason)), 1;
    const std::string& temporary = target.temporary;
    game_file rebuilt;
    kind_failures why;
    status s = load_game_file(temporary, kind_of(file), rebuilt, why);
    if (!failed(s))
        s = check_rebuilt(file, check.texts, rebuilt);
    if (failed(s)) {
        const std::string reason = s.code == failure::not_a_game_file ? load_failure_text(s, why, temporary, kind_of(file))
                                                                      : failure_text(s, temporary);
        return report(err, "the rebuilt file fails its check, nothing written: " + reason), 1;
    }
    if (!output_file_commit(target))
        return report(err, write_failure_text(request.output, target.reason)), 1;
    return 0;
}

// Writes the wrapped PO to the output of `check --wrap`.
int write_wrapped_po(const import_request& request, std::string_view po, const po_check& check, text_output& out,
                     text_output& err)
{
    if (request.output == "-") {
        write_wrapped(po, check, out);
        return out_finish(out) != 0 ? (report(err, write_failure_text("output", errno_reason(out.error))), 1) : 0;
    }
    output_file target;
    const std::string inputs[] = {request.file, request.po};
    if (!open_output(request.output, inputs, target, err))
        return 1;
    text_output into;
    out_init_file(into, target.stream.get());
    write_wrapped(po, check, into);
    if (out_finish(into) != 0)
        return report(err, write_failure_text(request.output, errno_reason(into.error))), 1;
    if (!output_file_commit(target))
        return report(err, write_failure_text(request.output, target.reason)), 1;
    return 0;
}

} // namespace

int check_command(const import_request& request, text_output& out, text_output& err)
{
    game_file file;
    std::vector<std::uint8_t> po;
    po_check check;
    if (!check_files(request, file, po, check, err))
        return 1;
    const bool to_stdout = request.options.wrap && request.output == "-";
    write_report(check, po_name(request), file, to_stdout ? err : out);
    if (check_failed(check, request.options.strict))
        return 1;
    if (request.options.wrap)
        return write_wrapped_po(request, std::string_view(reinterpret_cast<const char*>(po.data()), po.size()), check,
                                out, err);
    return 0;
}

int import_po(const import_request& request, text_output& err)
{
    game_file file;
    std::vector<std::uint8_t> po;
    po_check check;
    import_request checked = request;
    checked.options.read_back = false; // write_checked reads the file written back
    if (!check_files(checked, file, po, check, err))
        return 1;
    write_report(check, po_name(request), file, err);
    if (check_failed(check, request.options.strict) || !check.rebuilt)
        return 1;
    if (write_checked(file, check, request, err) != 0)
        return 1;
    std::uint64_t total = 0;
    for (const string_table& t : tables_of(file))
        for (const string_block& b : t.directory.blocks)
            total += b.count;
    const rebuilt_file& result = check.result;
    out_text(err, counted(check.changed, "string") + " changed, " + std::to_string(total - check.changed) + " kept, " +
                      counted(result.dropped, "byte") + " dropped, " + counted(file.bytes.size(), "byte") +
                      " before, " + std::to_string(result.bytes.size()) + " after" +
                      (result.new_tree ? ", a new code tree\n" : "\n"));
    return 0;
}
