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
-- The quit-item fix, chosen from the menu as a person would: its placeholder is selected, and
-- typing writes over it.
vim.ui.select = function(items, _, choose)
  for i, item in ipairs(items) do
    if item[2].title == "Add the missing quit-item" then return choose(item, i) end
  end
  say("no quit-item fix")
end
vim.fn.search("<toolbar-menu>")
vim.lsp.buf.code_action()
vim.wait(5000, function() return vim.fn.search("(quit text)", "n") > 0 end)
-- The selection is made by keys, which Neovim reads once this script yields to its loop.
vim.defer_fn(function()
  say("mode " .. vim.api.nvim_get_mode().mode)
  vim.api.nvim_feedkeys("Afslut", "nx", false)
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes("<Esc>", true, false, true), "nx", false)
  say("menu " .. vim.trim(vim.fn.getline(vim.fn.search("quit-item"))))
  vim.cmd("write")
  vim.cmd("edit pom.xml")
  vim.wait(500)
  say("pom clients " .. #vim.lsp.buf_get_clients(0))
  say("pom omnifunc " .. vim.bo.omnifunc)
  say("pom diagnostics " .. #vim.diagnostic.get(0))
  vim.cmd("edit doctype.xml")
  vim.wait(5000, function() return #vim.lsp.buf_get_clients(0) > 0 end)
  say("doctype clients " .. #vim.lsp.buf_get_clients(0))
  vim.cmd("edit trick.xml")
  vim.wait(500)
  say("trick clients " .. #vim.lsp.buf_get_clients(0))
  vim.fn.writefile(out, os.getenv("BP_OUT"))
  vim.cmd("qa!")
end, 100)
