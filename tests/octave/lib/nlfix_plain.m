function f = nlfix_plain(S, r, model, u, v, a, opt, arg)
% Force function of the tests: the spring of nlfix_snl as a plain array.
  f = S.k .* reshape(S.unl(1:numel(S.k)), [], 1);
end
