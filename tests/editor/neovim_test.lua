-- Neovim's own LSP client against the language server: diagnostics on open and after typing,
-- completion, hover and a definition. Writes what it got to $BP_OUT, a line each.
local out = assert(io.open(os.getenv('BP_OUT'), 'w'))
local function say(...) out:write(table.concat({ ... }, ' '), '\n') end

-- Diagnostics are counted as they are published.
local published = 0
local publish = vim.lsp.handlers['textDocument/publishDiagnostics']
vim.lsp.handlers['textDocument/publishDiagnostics'] = function(...)
  published = published + 1
  return publish(...)
end

vim.cmd('edit ' .. vim.fn.fnameescape(os.getenv('BP_LAYOUT')))
local client = vim.lsp.start_client({ name = 'branding',
  cmd = { os.getenv('BP_INSPECT'), 'lsp' }, root_dir = vim.fn.getcwd() })
vim.lsp.buf_attach_client(0, client)

local function diagnostics(count)
  vim.wait(10000, function() return published >= count end, 20)
  say('published', published)
  for _, d in ipairs(vim.diagnostic.get(0)) do
    say('diagnostic', d.lnum, d.col, d.code or '', d.message)
  end
end
local function request(method, line, character)
  local params = { textDocument = vim.lsp.util.make_text_document_params(),
                   position = { line = line, character = character } }
  local answers = vim.lsp.buf_request_sync(0, method, params, 10000) or {}
  for _, answer in pairs(answers) do return answer.result end
end

diagnostics(1)
-- Typing: a misspelt scheme in the logo's line, after a name of non-ASCII letters.
vim.api.nvim_buf_set_lines(0, 12, 12, true,
  { '            <text>Café 東京</text><hyperlink url="htps://x.example">x</hyperlink>' })
diagnostics(2)
local completion = request('textDocument/completion', 4, 14) or {}
for _, item in ipairs(completion.items or completion) do say('completion', item.label) end
local hover = request('textDocument/hover', 11, 20)
say('hover', ((hover and hover.contents.value or ''):gsub('\n', ' ')))
local definition = request('textDocument/definition', 4, 16)
say('definition', definition and (definition.uri or definition[1].uri) or '')
out:close()
vim.lsp.stop_client(client)
vim.cmd('qa!')
