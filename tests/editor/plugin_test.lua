-- Opens a branding layout and a pom.xml in Neovim with no configuration of its own: the
-- installed plugin alone starts the language server for the layout, and only for it.
local out = {}
local function say(line) table.insert(out, line) end
vim.cmd("edit layout.xml")
vim.wait(5000, function() return #vim.lsp.buf_get_clients(0) > 0 end)
say("layout clients " .. #vim.lsp.buf_get_clients(0))
vim.wait(5000, function() return #vim.diagnostic.get(0) > 0 end)
for _, d in ipairs(vim.diagnostic.get(0)) do
  say("diagnostic " .. tostring(d.user_data and d.user_data.lsp and d.user_data.lsp.code))
end
say("omnifunc " .. vim.bo.omnifunc)
say("gd " .. vim.fn.maparg("gd", "n"))
say("K " .. vim.fn.maparg("K", "n"))
say("ca " .. vim.fn.maparg("<leader>ca", "n"))
vim.cmd("edit pom.xml")
vim.wait(500)
say("pom clients " .. #vim.lsp.buf_get_clients(0))
say("pom omnifunc " .. vim.bo.omnifunc)
say("pom diagnostics " .. #vim.diagnostic.get(0))
vim.fn.writefile(out, os.getenv("BP_OUT"))
vim.cmd("qa!")
