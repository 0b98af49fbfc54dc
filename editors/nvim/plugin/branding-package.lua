-- Starts branding-package-inspect's language server for branding layouts, and only for them:
-- an XML buffer whose first element is vantu-client-branding. Per buffer it sets omnifunc
-- (completion with <C-x><C-o>), gd (go to the image file), K (hover) and <leader>ca (quick
-- fixes). Installed on Neovim's default runtime path: installing the package is the set-up.
if vim.g.loaded_branding_package then return end
vim.g.loaded_branding_package = true

-- Past the declaration, comments and the DOCTYPE (to the first > outside its bracketed
-- subset, whatever that holds), as the XML parser reads them, the first element decides.
local function is_layout(buffer)
  local text = table.concat(vim.api.nvim_buf_get_lines(buffer, 0, -1, false), "\n")
  local at = 1
  while true do
    at = text:find("<", at, true)
    if not at then return false end
    local rest = text:sub(at, at + 9)
    local after
    if rest:sub(1, 2) == "<?" then
      after = select(2, text:find("?>", at + 2, true))
    elseif rest:sub(1, 4) == "<!--" then
      after = select(2, text:find("-->", at + 4, true))
    elseif rest:sub(1, 9) == "<![CDATA[" then
      after = select(2, text:find("]]>", at + 9, true))
    elseif rest:match("^<!DOCTYPE[ \t\r\n]") then
      local depth = 0
      for i = at + 9, #text do
        local c = text:sub(i, i)
        if c == "[" then depth = depth + 1
        elseif c == "]" and depth > 0 then depth = depth - 1
        elseif c == ">" and depth == 0 then after = i break end
      end
    elseif rest:sub(1, 2) == "<!" then
      after = text:find(">", at + 2, true)
    else
      return text:match("^<vantu%-client%-branding[ \t\r\n/>]", at) ~= nil
    end
    if not after then return false end
    at = after + 1
  end
end

local clients = {}  -- one server per project folder

-- A placeholder a quick fix leaves is selected (select mode), so that typing writes over it.
vim.lsp.commands["branding-package.select"] = function(command)
  local uri, range = command.arguments[1], command.arguments[2]
  if vim.uri_from_bufnr(0) ~= uri then return end
  local function mark(name, position, after)
    local line = vim.api.nvim_buf_get_lines(0, position.line, position.line + 1, false)[1] or ""
    local column = vim.str_byteindex(line, position.character, true)
    vim.api.nvim_buf_set_mark(0, name, position.line + 1, math.max(column - after, 0), {})
  end
  mark("<", range.start, 0)
  mark(">", range["end"], 1)
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes("gv<C-g>", true, false, true), "n", false)
end

local function attach(args)
  local buffer = args.buf
  if vim.fn.executable("branding-package-inspect") ~= 1 or not is_layout(buffer) then return end
  local root = vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buffer), ":p:h")
  if not clients[root] or vim.lsp.get_client_by_id(clients[root]) == nil then
    clients[root] = vim.lsp.start_client({
      name = "branding-package-inspect",
      cmd = {"branding-package-inspect", "lsp"},
      root_dir = root,
    })
  end
  if not clients[root] then return end
  vim.lsp.buf_attach_client(buffer, clients[root])
  vim.bo[buffer].omnifunc = "v:lua.vim.lsp.omnifunc"
  local function map(keys, action)
    vim.api.nvim_buf_set_keymap(buffer, "n", keys, "<cmd>lua vim.lsp.buf." .. action .. "()<CR>",
                                {noremap = true, silent = true})
  end
  map("gd", "definition")
  map("K", "hover")
  map("<leader>ca", "code_action")
end

vim.api.nvim_create_autocmd("FileType", {pattern = "xml", callback = attach})
